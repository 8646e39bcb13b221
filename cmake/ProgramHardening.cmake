# What the compiler and linker add against memory faults, for every Windows program of the
# tree (tests included, so that they run the code as the program does):
# - a stack guard in each function with a local array or a local whose address is taken;
# - copies into buffers of known size checked (the headers apply it only when optimising);
# - a program file that loads at a random, high address with no runnable data, marked for
#   Windows Vista (6.0) or later.
# The guard's value and its failure come from vtf_stack_guard instead of GCC's libssp, whose
# start-up asks the system's cryptographic provider for the value: that loads DLLs (rsaenh,
# bcrypt, crypt32) before wWinMain can keep the program's folder out of the DLL search.
add_compile_options(-fstack-protector-strong)
add_compile_definitions(_FORTIFY_SOURCE=2)
add_link_options(-Wl,--dynamicbase -Wl,--high-entropy-va -Wl,--nxcompat
                 -Wl,--major-subsystem-version,6 -Wl,--minor-subsystem-version,0)

add_library(vtf_stack_guard STATIC ${PROJECT_SOURCE_DIR}/src/win32/stack_guard_win32.c)
# Its start-up sets the value that every guarded function compares with, and its checked
# copies are the plain ones behind a check: neither is guarded itself.
target_compile_options(vtf_stack_guard PRIVATE -fno-stack-protector -U_FORTIFY_SOURCE)
link_libraries(vtf_stack_guard)
