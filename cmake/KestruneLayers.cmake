# kestrune_layer(TARGET FOLDER): the library built from src/FOLDER shows its
# headers as "FOLDER/Name.h" to itself and to the targets that link it, and to
# no one else. Each library gets an include root of its own holding only a link
# to its folder, so an include across layers that the design forbids (formats
# reaching into recording, the core into the command line) does not compile,
# instead of resting on everyone's care.
function(kestrune_layer target folder)
    set(root ${CMAKE_BINARY_DIR}/layers/${folder})
    file(MAKE_DIRECTORY ${root})
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/src/${folder} ${root}/${folder} SYMBOLIC)
    target_include_directories(${target} PUBLIC ${root})
endfunction()
