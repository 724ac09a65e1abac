# zrk_add_qt_test(name [SERIAL] SOURCES ... LIBS ...): a test program of Qt code, with its own main
# (testsupport/QtTestMain.cpp) instead of gtest_main.
find_package(Qt6 REQUIRED COMPONENTS Widgets)
function(zrk_add_qt_test name)
    cmake_parse_arguments(ARG "SERIAL" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES} ${CMAKE_SOURCE_DIR}/tests/testsupport/QtTestMain.cpp)
    # zrkcore: the main installs the check of unused answers (support/Prompter.h).
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} zrkcore Qt6::Widgets GTest::gtest)
    target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/tests"
        AUTOMOC ON)
    # SERIAL: the program's tests run alone (their steps must not meet another test's load mid-way).
    set(serial "")
    if(ARG_SERIAL)
        set(serial RUN_SERIAL TRUE)
    endif()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 120
        PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" ${serial})
endfunction()
