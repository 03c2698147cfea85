# Compiler settings shared by every target of the project.

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

# tavero_add_test(NAME name SOURCES ... LIBS ...): one GoogleTest program per module.
function(tavero_add_test)
    cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    tavero_defaults(${T_NAME})
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
    target_compile_definitions(${T_NAME} PRIVATE
        TAVERO_CORPUS_DIR="${TAVERO_CORPUS_DIR}"
        TAVERO_TEST_DATA_DIR="${CMAKE_SOURCE_DIR}/tests/data")
    gtest_discover_tests(${T_NAME} DISCOVERY_TIMEOUT 60
        PROPERTIES ENVIRONMENT "TZ=UTC" LABELS ${T_NAME})
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
    target_link_libraries(${name} PUBLIC ${L_PUBLIC_LIBS} PRIVATE ${L_PRIVATE_LIBS})
endfunction()
