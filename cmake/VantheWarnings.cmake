option(VANTHE_WERROR "Treat compiler warnings as errors" OFF)

function(vanthe_warnings target)
    target_compile_options(${target} PRIVATE
        -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wold-style-cast
        -Wnon-virtual-dtor -Woverloaded-virtual -Wformat=2)
    if(VANTHE_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()
