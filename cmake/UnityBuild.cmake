# The unity build of the presets (CMAKE_UNITY_BUILD) compiles up to CMAKE_UNITY_BUILD_BATCH_SIZE
# sources of a target as one file. Sources whose file-local names clash with another source of
# the same target are compiled alone instead; each entry says which names.
#   sonabox_unity_exceptions()   (at the end of the top-level CMakeLists.txt)
function(sonabox_unity_alone target)
    if(NOT TARGET ${target})
        return()
    endif()
    get_target_property(directory ${target} SOURCE_DIR)
    foreach(source IN LISTS ARGN)
        set_source_files_properties(${directory}/${source} TARGET_DIRECTORY ${target}
            PROPERTIES SKIP_UNITY_BUILD_INCLUSION ON)
    endforeach()
endfunction()

function(sonabox_unity_exceptions)
    if(NOT CMAKE_UNITY_BUILD)
        return()
    endif()
    # utf8() of TagLib strings, in source_tags.cpp too.
    sonabox_unity_alone(sonabox_encoder_core core/source_cover.cpp)
    # isDigit(), in name_pattern.cpp too.
    sonabox_unity_alone(sonabox_naming_engine engine/tag_names.cpp)
    # The program tests' own helpers and cases: fileBytes(), kSeconds, Case, Kind, Error,
    # hasAttachedPicture().
    sonabox_unity_alone(sonabox_encoder_program_tests
        environment_test.cpp parallel_encoding_test.cpp shared_slots_test.cpp
        source_kinds_test.cpp vbr_encoding_test.cpp)
endfunction()
