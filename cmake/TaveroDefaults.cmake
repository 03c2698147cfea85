# Compiler settings shared by every target of the project.

include(CheckLinkerFlag)

# ccache, when installed, serves repeated builds of unchanged files (another clone, a rebuilt
# preset). Depend mode takes the headers from the compiler's own dependency output instead of
# running the preprocessor once more, so that a cold cache costs next to nothing; paths below the
# source folder are hashed relative to it, so that clones share the cache. Precompiled headers are
# cacheable with the sloppiness below.
option(TAVERO_CCACHE "Compile through ccache when it is installed" ON)
if(TAVERO_CCACHE AND NOT CMAKE_CXX_COMPILER_LAUNCHER)
    find_program(TAVERO_CCACHE_PROGRAM ccache)
    if(TAVERO_CCACHE_PROGRAM)
        set(launcher ${CMAKE_COMMAND} -E env CCACHE_DEPEND=1 CCACHE_BASEDIR=${PROJECT_SOURCE_DIR}
            CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime
            ${TAVERO_CCACHE_PROGRAM})
        set(CMAKE_C_COMPILER_LAUNCHER ${launcher})
        set(CMAKE_CXX_COMPILER_LAUNCHER ${launcher})
    endif()
endif()

# A faster linker where one is installed: the test programs link Qt, FFmpeg and every library of
# the project, many times over in three presets.
if(NOT TAVERO_LINKER)
    foreach(candidate mold lld)
        check_linker_flag(CXX "-fuse-ld=${candidate}" TAVERO_HAVE_LINKER_${candidate})
        if(TAVERO_HAVE_LINKER_${candidate})
            set(TAVERO_LINKER ${candidate})
            break()
        endif()
    endforeach()
endif()
if(TAVERO_LINKER)
    add_link_options(-fuse-ld=${TAVERO_LINKER})
endif()

if(TAVERO_SANITIZE)
    add_compile_options(-fsanitize=${TAVERO_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options(-fsanitize=${TAVERO_SANITIZE})
endif()

if(TAVERO_FUZZ)
    # Coverage feedback for the libraries under test, not only for the fuzz targets themselves.
    add_compile_options(-fsanitize=fuzzer-no-link)
endif()

function(tavero_defaults target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                                             -Wno-sign-conversion)
    if(TAVERO_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()

# Test programs are built as unity builds of a few files each, over one precompiled header of
# GoogleTest and the standard library: much of a test file's compile time is otherwise spent
# parsing those headers again. (Qt's headers are left out: a precompiled header of them costs
# more to build than the few widget test files would save.) A file whose helpers clash
# with another's in one unit is listed in NO_UNITY. GCC 12 reports its own false array-bounds
# warnings from inside libstdc++ when that comes from a precompiled header (it forgets that they
# are system headers); a file that meets one is listed in NO_PCH and parses its headers itself.
set(TAVERO_UNITY_BATCH 4 CACHE STRING "Source files per unit of a test program's unity build (0: off)")
set(TAVERO_TEST_PCH ${PROJECT_SOURCE_DIR}/tests/support/test_pch.h)

function(tavero_unity target)
    cmake_parse_arguments(U "" "" "EXCLUDE" ${ARGN})
    if(TAVERO_UNITY_BATCH GREATER 0)
        set_target_properties(${target} PROPERTIES UNITY_BUILD ON
                              UNITY_BUILD_BATCH_SIZE ${TAVERO_UNITY_BATCH})
        if(U_EXCLUDE)
            set_source_files_properties(${U_EXCLUDE} TARGET_DIRECTORY ${target}
                                        PROPERTIES SKIP_UNITY_BUILD_INCLUSION ON)
        endif()
    endif()
endfunction()

# tavero_add_test(NAME name SOURCES ... LIBS ... [WIDGETS] [SHARDS n] [NO_UNITY file...]
#                 [NO_PCH file...]): one GoogleTest program per module. Its cases are discovered
# and run by CTest one process each, unless SHARDS is given: then CTest runs the program as n
# processes that share its cases out (GoogleTest's sharding). That is for programs of many short
# cases, where starting a process per case (a third of a second under the sanitizers) would cost
# more than the cases themselves; a failure's output names the case. WIDGETS: the program runs
# under one QApplication on the offscreen platform (its main comes from tavero_widget_test_main).
# LONG filter: the cases the GoogleTest filter names take long; CTest starts them first (it has
# no times of earlier runs on a fresh clone), so that the other cases fill the second core.
function(tavero_add_test)
    cmake_parse_arguments(T "WIDGETS" "NAME;SHARDS;LONG" "SOURCES;LIBS;NO_UNITY;NO_PCH" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    tavero_defaults(${T_NAME})
    if(T_WIDGETS)
        target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} tavero_widget_test_main Qt6::Test
                              GTest::gtest GTest::gmock)
    else()
        target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock
                              GTest::gtest_main)
    endif()
    target_precompile_headers(${T_NAME} REUSE_FROM tavero_test_pch)
    target_compile_options(${T_NAME} PRIVATE -fPIC)
    tavero_unity(${T_NAME} EXCLUDE ${T_NO_UNITY} ${T_NO_PCH})
    if(T_NO_PCH)
        set_source_files_properties(${T_NO_PCH} TARGET_DIRECTORY ${T_NAME}
                                    PROPERTIES SKIP_PRECOMPILE_HEADERS ON)
    endif()
    target_compile_definitions(${T_NAME} PRIVATE
        TAVERO_CORPUS_DIR="${TAVERO_CORPUS_DIR}"
        TAVERO_TEST_DATA_DIR="${CMAKE_SOURCE_DIR}/tests/data")
    if(T_SHARDS)
        math(EXPR last "${T_SHARDS} - 1")
        foreach(shard RANGE ${last})
            add_test(NAME ${T_NAME}/${shard} COMMAND ${T_NAME})
            set_tests_properties(${T_NAME}/${shard} PROPERTIES LABELS ${T_NAME}
                ENVIRONMENT "TZ=UTC;GTEST_TOTAL_SHARDS=${T_SHARDS};GTEST_SHARD_INDEX=${shard}")
        endforeach()
    elseif(T_LONG)
        gtest_discover_tests(${T_NAME} DISCOVERY_TIMEOUT 60 TEST_FILTER "${T_LONG}"
            PROPERTIES ENVIRONMENT "TZ=UTC" LABELS ${T_NAME} COST 1000)
        gtest_discover_tests(${T_NAME} DISCOVERY_TIMEOUT 60 TEST_FILTER "-${T_LONG}"
            PROPERTIES ENVIRONMENT "TZ=UTC" LABELS ${T_NAME})
    else()
        gtest_discover_tests(${T_NAME} DISCOVERY_TIMEOUT 60
            PROPERTIES ENVIRONMENT "TZ=UTC" LABELS ${T_NAME})
    endif()
endfunction()

# tavero_library(name PUBLIC_LIBS ... PRIVATE_LIBS ...): a static library of every .cpp in the folder.
function(tavero_library name)
    cmake_parse_arguments(L "" "" "PUBLIC_LIBS;PRIVATE_LIBS" ${ARGN})
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    if(NOT sources)
        # A layer that has only headers so far.
        add_library(${name} INTERFACE)
        target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
        target_link_libraries(${name} INTERFACE ${L_PUBLIC_LIBS})
        return()
    endif()
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    tavero_defaults(${name})
    tavero_unity(${name})
    target_link_libraries(${name} PUBLIC ${L_PUBLIC_LIBS} PRIVATE ${L_PRIVATE_LIBS})
endfunction()
