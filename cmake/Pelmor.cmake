# Helpers shared by every folder of the tree.

# pelmor_test(<name> SOURCES ... LIBS ... [LABELS ...])
# One GoogleTest executable, its cases registered with CTest one by one.
function(pelmor_test name)
    cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
    if(NOT T_LABELS)
        set(T_LABELS unit)
    endif()
    # Without PELMOR_E2E the end-to-end tests stay defined (other targets name
    # them) but are neither built by default nor registered.
    set(skip OFF)
    if("e2e" IN_LIST T_LABELS AND NOT PELMOR_E2E)
        set(skip ON)
        add_executable(${name} EXCLUDE_FROM_ALL ${T_SOURCES})
    else()
        add_executable(${name} ${T_SOURCES})
    endif()
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/common)
    if(skip)
        return()
    endif()
    gtest_discover_tests(${name}
        PROPERTIES LABELS "${T_LABELS}" TIMEOUT 300
        DISCOVERY_TIMEOUT 60)
endfunction()

# pelmor_fuzz(<name> SOURCES ... LIBS ... CORPUS <dir>)
# With PELMOR_FUZZ the target is a libFuzzer binary; otherwise it is a small
# driver that replays every file of its corpus, registered as a test.
function(pelmor_fuzz name)
    cmake_parse_arguments(F "" "CORPUS" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${F_SOURCES})
    target_link_libraries(${name} PRIVATE ${F_LIBS} Threads::Threads)
    if(PELMOR_FUZZ)
        target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
        target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    else()
        target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/fuzz/replay_main.cpp)
        add_test(NAME ${name}.replay COMMAND ${name} ${F_CORPUS})
        set_tests_properties(${name}.replay PROPERTIES LABELS "unit;fuzz" TIMEOUT 600)
    endif()
endfunction()
