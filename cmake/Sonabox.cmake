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

# The linker, as the compiler's -fuse-ld= names it (lld, mold, gold); empty keeps the default.
# The presets pick lld, which links the many test programs in a fraction of ld's time.
set(SONABOX_LINKER "" CACHE STRING "Linker for every target (-fuse-ld=): lld, mold, gold or empty")
if(SONABOX_LINKER)
    add_link_options(-fuse-ld=${SONABOX_LINKER})
endif()

# The program directory of a build: the program, its launcher, the decoder library, the
# encoder programs and the help text, laid out as the program expects to find them.
set(SONABOX_PROGRAM_DIR ${CMAKE_BINARY_DIR}/sonabox)
# Libraries the programs load when they need them (the FFmpeg reader's module) lie there: every
# executable of the build, tests too, looks there first.
set(CMAKE_BUILD_RPATH ${SONABOX_PROGRAM_DIR})

# Where the install puts the program directory, below the prefix.
set(SONABOX_INSTALL_DIR lib/sonabox)

# The test command's build: a warning in our own code fails it.
option(SONABOX_WERROR "Make every warning in our own targets an error" OFF)

# Applies the language level and warning flags to one of our own targets.
function(sonabox_defaults target)
    target_compile_features(${target} PRIVATE cxx_std_20)
    target_compile_options(${target} PRIVATE -Wall -Wextra)
    if(SONABOX_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
    # In a unity build GCC takes the included sources for headers, where a class in an
    # anonymous namespace that a class of the program derives from (a test fixture) is a
    # hazard; in a source it is not, and the build of each source alone never warns of it.
    if(CMAKE_UNITY_BUILD AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
        target_compile_options(${target} PRIVATE
            $<$<COMPILE_LANGUAGE:CXX>:-Wno-subobject-linkage>)
    endif()
endfunction()

# Registers a GoogleTest executable with CTest, one entry per test case, named
# <target>.<Suite>.<case> (ctest -R '^<target>\.' runs them all). The cases are listed when
# CTest starts, not at build time. The cases of one executable never run at the same time, as
# when the executable ran them one after the other; each runs offscreen, so no display is
# needed, and tests that play sound pick SDL's disk or dummy driver themselves.
#   sonabox_test(target [SUFFIX .name] [ENVIRONMENT VAR=value...])
# SUFFIX registers the executable's cases a second time, with these names ending in it.
include(GoogleTest)
# Listing the cases runs each executable, and those that make a QApplication need a platform
# plugin even for that: CTest lists them offscreen unless its caller chose a platform. Every
# test sets its own platform anyway.
file(WRITE ${CMAKE_BINARY_DIR}/list_tests_offscreen.cmake
     "if(NOT DEFINED ENV{QT_QPA_PLATFORM})\n  set(ENV{QT_QPA_PLATFORM} offscreen)\nendif()\n")
set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES
             ${CMAKE_BINARY_DIR}/list_tests_offscreen.cmake)
function(sonabox_test target)
    cmake_parse_arguments(TEST "" "SUFFIX" "ENVIRONMENT" ${ARGN})
    if(NOT TEST_SUFFIX)
        sonabox_defaults(${target})
    endif()
    string(MAKE_C_IDENTIFIER "${target}${TEST_SUFFIX}" name)
    gtest_discover_tests(${target}
        TEST_PREFIX ${target}.
        TEST_SUFFIX "${TEST_SUFFIX}"
        TEST_LIST ${name}_cases
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 60)
    # The properties are set once the cases are listed, by a script of our own: PROPERTIES of
    # gtest_discover_tests would split a list such as ENVIRONMENT's.
    list(PREPEND TEST_ENVIRONMENT QT_QPA_PLATFORM=offscreen)
    set(script ${CMAKE_CURRENT_BINARY_DIR}/${name}_properties.cmake)
    file(GENERATE OUTPUT ${script} CONTENT "if(${name}_cases)
  set_tests_properties(\${${name}_cases} PROPERTIES
    ENVIRONMENT [==[${TEST_ENVIRONMENT}]==] TIMEOUT 300 RESOURCE_LOCK ${target})
endif()
")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${script})
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
