# cmake -DOUT=<folder> -P make_test_payloads.cmake
# One byte over the copy buffer (1 MiB + 1: two chunks, the last one byte that differs from the
# first), a short one and an empty one. extract_win32_test.cpp builds the same contents.
string(REPEAT "0123456789abcdef" 65536 big)
file(WRITE ${OUT}/big_payload.bin "${big}Z")
file(WRITE ${OUT}/small_payload.bin "small payload")
file(WRITE ${OUT}/empty_payload.bin "")
