# mailvane_library_headers(<target>): the headers listed among <target>'s sources can be
# included as "<folder>/<Header.h>" by the target and by what links it, and by nothing else.
# Each library has a staging folder of its own in the build tree, holding links to its own
# headers only, so a header of a library that is not linked is not found.
function(mailvane_library_headers target)
    get_target_property(dir ${target} SOURCE_DIR)
    get_target_property(sources ${target} SOURCES)
    get_filename_component(folder ${dir} NAME)
    set(stage ${PROJECT_BINARY_DIR}/include/${target})
    # Made anew at every configure: a header taken off the list must stop being found.
    file(REMOVE_RECURSE ${stage})
    file(MAKE_DIRECTORY ${stage}/${folder})
    foreach(source ${sources})
        if(source MATCHES "\\.h$")
            if(NOT IS_ABSOLUTE ${source})
                set(source ${dir}/${source})
            endif()
            get_filename_component(name ${source} NAME)
            file(CREATE_LINK ${source} ${stage}/${folder}/${name} SYMBOLIC)
        endif()
    endforeach()
    target_include_directories(${target} PUBLIC ${stage})
endfunction()
