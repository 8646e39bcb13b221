// Carries the payload resources and does nothing else: something to read them from.
int wmain() {
  return 0;
}
