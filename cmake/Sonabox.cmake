# Project-wide build settings shared by every target.

set(SONABOX_SANITIZER "" CACHE STRING "Build everything with a sanitizer: address, thread or empty")
if(SONABOX_SANITIZER STREQUAL "address")
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
elseif(SONABOX_SANITIZER STREQUAL "thread")
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
elseif(NOT SONABOX_SANITIZER STREQUAL "")
    message(FATAL_ERROR "SONABOX_SANITIZER must be address, thread or empty")
endif()

# The program directory of a build: the program, its launcher, the decoder library, the
# encoder programs and the help text, laid out as the program expects to find them.
set(SONABOX_PROGRAM_DIR ${CMAKE_BINARY_DIR}/sonabox)

# Where the install puts the program directory, below the prefix.
set(SONABOX_INSTALL_DIR lib/sonabox)

# Applies the language level and warning flags to one of our own targets.
function(sonabox_defaults target)
    target_compile_features(${target} PRIVATE cxx_std_20)
    target_compile_options(${target} PRIVATE -Wall -Wextra)
endfunction()

# Registers a GoogleTest or Qt Test executable with CTest. Every test runs offscreen, so no
# display is needed; tests that play sound pick SDL's disk or dummy driver themselves.
function(sonabox_test target)
    sonabox_defaults(${target})
    add_test(NAME ${target} COMMAND ${target})
    set_tests_properties(${target} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 300)
endfunction()

# Fuzzing build (clang only): every target is instrumented for coverage and checked by ASan and
# UBSan. Each subsystem adds its targets from its own fuzz/ folder when this is on.
option(SONABOX_FUZZ "Build the libFuzzer targets (configure with CC=clang CXX=clang++)" OFF)
if(SONABOX_FUZZ)
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()

# A libFuzzer target named fuzz_<name>. scripts/fuzz.sh runs every such target, starting from
# the seed corpus in the folder fuzz/corpus/<name> beside its source.
#   sonabox_fuzzer(fuzz_<name> SOURCES file.cpp... LIBS target...)
function(sonabox_fuzzer target)
    cmake_parse_arguments(FUZZ "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${target} ${FUZZ_SOURCES})
    target_link_libraries(${target} PRIVATE ${FUZZ_LIBS})
    target_link_options(${target} PRIVATE -fsanitize=fuzzer)
    sonabox_defaults(${target})
endfunction()

# Debian's hardening flags, as dpkg-buildflags gives them to any Debian package: fortified calls,
# the stack protector, format checks, and relocations made read-only and bound at start (relro,
# bindnow). The build type keeps its own optimisation and debug flags. Not in the sanitizer and
# fuzzing builds, whose run-time checks take the place of these.
option(SONABOX_HARDENING "Build with Debian's hardening flags (dpkg-buildflags)" ON)
find_program(SONABOX_DPKG_BUILDFLAGS dpkg-buildflags)
if(SONABOX_HARDENING AND SONABOX_DPKG_BUILDFLAGS AND SONABOX_SANITIZER STREQUAL ""
   AND NOT SONABOX_FUZZ)
    foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
        execute_process(
            COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                    ${SONABOX_DPKG_BUILDFLAGS} --get ${kind}
            OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE)
        separate_arguments(flags UNIX_COMMAND "${flags}")
        foreach(flag IN LISTS flags)
            if(flag MATCHES "^-(O|g$|ffile-prefix-map|fdebug-prefix-map)")
                continue()
            elseif(kind STREQUAL "LDFLAGS")
                add_link_options(${flag})
            else()
                add_compile_options(${flag})
            endif()
        endforeach()
    endforeach()
endif()
