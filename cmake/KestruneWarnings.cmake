# Warnings for the project's own targets. Call kestrune_warnings(target).
function(kestrune_warnings target)
    target_compile_options(${target} PRIVATE
        -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wcast-align
        -Woverloaded-virtual -Wimplicit-fallthrough)
    if(KESTRUNE_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()
