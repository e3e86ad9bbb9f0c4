# Shared helpers for the KobLabVIEW build.

# Test framework: Debian's packaged GoogleTest natively; built from its
# shipped sources when cross compiling for Windows.
macro(kob_find_gtest)
    if(CMAKE_CROSSCOMPILING)
        if(NOT TARGET gtest)
            set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
            set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
            set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
            add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/_googletest EXCLUDE_FROM_ALL)
            # GoogleTest's own sources are not held to our warning policy.
            foreach(t gtest gtest_main gmock gmock_main)
                if(TARGET ${t})
                    target_compile_options(${t} PRIVATE -Wno-error)
                endif()
            endforeach()
        endif()
        set(KOB_GTEST_LIBS gtest gmock gtest_main)
    else()
        find_package(GTest REQUIRED)
        set(KOB_GTEST_LIBS GTest::gtest GTest::gmock GTest::gtest_main)
    endif()
endmacro()

# kob_test(name SOURCES a.cpp ... [LIBS lib ...] [LABELS l ...] [TIMEOUT s])
# One GoogleTest executable registered as one CTest test.
function(kob_test name)
    cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} ${KOB_GTEST_LIBS} Threads::Threads)
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
    add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 300)
    endif()
    set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "${T_LABELS}")
    set_property(GLOBAL APPEND PROPERTY KOB_ALL_TESTS ${name})
    if("tsan" IN_LIST T_LABELS)
        set_property(GLOBAL APPEND PROPERTY KOB_TSAN_TESTS ${name})
    endif()
endfunction()

# Portable code of the system links against this interface target for
# include paths and common settings.
function(kob_library name)
    cmake_parse_arguments(L "" "" "SOURCES;LIBS;PUBLIC_LIBS" ${ARGN})
    add_library(${name} STATIC ${L_SOURCES})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}/generated)
    target_link_libraries(${name} PUBLIC ${L_PUBLIC_LIBS} PRIVATE ${L_LIBS})
endfunction()
