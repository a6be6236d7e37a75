# orvel_add_test(NAME name SOURCES ... [LIBS ...] [CLIPS] [TIMEOUT seconds] [ENV VAR=value ...])
#
# Builds a Qt Test program and registers it with CTest. Every test runs with
# HOME set to a directory of its own inside the build tree, so no test ever
# reads or writes the real user's settings, and on the offscreen platform.
# CLIPS makes the test depend on the generated clip corpus (ORVEL_TEST_CLIPS).
set(ORVEL_TEST_CLIPS_DIR ${CMAKE_BINARY_DIR}/test-clips)
set(ORVEL_TEST_HOMES_DIR ${CMAKE_BINARY_DIR}/test-homes)

if(NOT TEST orvel_test_clips)
    add_test(NAME orvel_test_clips
             COMMAND ${PROJECT_SOURCE_DIR}/scripts/make-test-clips.sh ${ORVEL_TEST_CLIPS_DIR})
    set_tests_properties(orvel_test_clips PROPERTIES FIXTURES_SETUP clips TIMEOUT 600)
endif()

# orvel_register_test(NAME name COMMAND program [args...] [CLIPS] [TIMEOUT seconds] [ENV VAR=value ...])
#
# Registers a program built elsewhere (a benchmark run as a short check) with
# the same environment as the tests.
function(orvel_register_test)
    cmake_parse_arguments(T "CLIPS" "NAME;TIMEOUT" "COMMAND;ENV" ${ARGN})
    add_test(NAME ${T_NAME} COMMAND ${T_COMMAND})
    set(home ${ORVEL_TEST_HOMES_DIR}/${T_NAME})
    file(MAKE_DIRECTORY ${home})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 300)
    endif()
    # The test's time-out bounds a hang; Qt Test's own limit of five minutes
    # per test function would also fail a long function on a busy machine.
    math(EXPR function_timeout_ms "${T_TIMEOUT} * 1000")
    # Without a session bus, libdbus forks a child to start one when Qt first
    # asks; in the sanitizer build that child can deadlock on a sanitizer lock
    # another thread held at the fork, and the player's window waits on it for
    # ever. Tests never need the bus.
    set(env "HOME=${home}" "QT_QPA_PLATFORM=offscreen" "ORVEL_TEST_CLIPS=${ORVEL_TEST_CLIPS_DIR}"
            "DBUS_SESSION_BUS_ADDRESS=disabled:"
            "QTEST_FUNCTION_TIMEOUT=${function_timeout_ms}"
            "ASAN_OPTIONS=detect_leaks=1:abort_on_error=0"
            "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1"
            "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp"
            "TSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/tsan.supp:halt_on_error=1:second_deadlock_stack=1:history_size=7"
            ${T_ENV})
    set_tests_properties(${T_NAME} PROPERTIES ENVIRONMENT "${env}" TIMEOUT ${T_TIMEOUT})
    if(T_CLIPS)
        set_tests_properties(${T_NAME} PROPERTIES FIXTURES_REQUIRED clips)
    endif()
endfunction()

function(orvel_add_test)
    cmake_parse_arguments(T "CLIPS" "NAME;TIMEOUT" "SOURCES;LIBS;ENV" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE Qt5::Test orvel_testsupport ${T_LIBS})
    set(clips)
    if(T_CLIPS)
        set(clips CLIPS)
    endif()
    set(timeout)
    if(T_TIMEOUT)
        set(timeout TIMEOUT ${T_TIMEOUT})
    endif()
    orvel_register_test(NAME ${T_NAME} COMMAND ${T_NAME} ${clips} ${timeout} ENV ${T_ENV})
endfunction()
