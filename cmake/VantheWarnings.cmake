option(VANTHE_WERROR "Treat compiler warnings as errors" OFF)

function(vanthe_warnings target)
    target_compile_options(${target} PRIVATE
        -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wold-style-cast
        -Wnon-virtual-dtor -Woverloaded-virtual -Wformat=2)
    if(VANTHE_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()

# Hardening for Release builds, the packaged ones: buffer overflow checks (level 3 where the
# compiler and C library have it), stack protection, and a read-only global offset table
# resolved at start (full RELRO, BIND_NOW); every build makes position-independent executables.
# The sanitizer presets build Debug, and fortification needs -O.
include(CheckCXXSourceCompiles)
include(CheckPIESupported)
check_cxx_source_compiles([=[
#include <cstring>
#if !defined(__has_builtin) || !__has_builtin(__builtin_dynamic_object_size)
#error no dynamic object size
#endif
#if !defined(__GLIBC__) || !__GLIBC_PREREQ(2, 34)
#error no level 3 in this C library
#endif
int main() { return 0; }
]=] VANTHE_HAVE_FORTIFY_3)
if(VANTHE_HAVE_FORTIFY_3)
    set(vanthe_fortify_level 3)
else()
    set(vanthe_fortify_level 2)
endif()
set(vanthe_release "$<CONFIG:Release,MinSizeRel>")
add_compile_options(
    "$<${vanthe_release}:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=${vanthe_fortify_level}>"
    "$<${vanthe_release}:-fstack-protector-strong>")
add_link_options("$<${vanthe_release}:LINKER:-z,relro,-z,now>")
check_pie_supported(LANGUAGES CXX)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
