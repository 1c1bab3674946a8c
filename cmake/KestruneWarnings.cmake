# Warnings for the project's own targets. Call kestrune_warnings(target).
function(kestrune_warnings target)
    target_compile_options(${target} PRIVATE
        -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wcast-align
        -Woverloaded-virtual -Wimplicit-fallthrough)
    # GCC 12's optimiser, once it has inlined libstdc++'s std::string and
    # std::vector code (operator+, insert, assign), reports overlaps and
    # overflows of lengths such as 9223372036854775810 bytes on paths that
    # cannot run. These come from the standard library, not from our code,
    # and fill an optimised build's output; only optimised GCC 12 builds give
    # them, so only those are told to keep quiet about exactly these two.
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU"
       AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12
       AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
        target_compile_options(${target} PRIVATE
            $<$<NOT:$<CONFIG:Debug>>:-Wno-restrict -Wno-stringop-overflow>)
    endif()
    if(KESTRUNE_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()
