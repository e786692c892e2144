# Shared compile settings of the suite's own code (not of third-party sources).
function(velmora_settings target)
    target_compile_options(${target} PRIVATE
        $<$<COMPILE_LANGUAGE:CXX,C>:-Wall -Wextra -Werror -Wno-cast-function-type>
        # Source names in traces are relative to the tree, not to this machine's folders.
        $<$<COMPILE_LANGUAGE:CXX,C>:-fmacro-prefix-map=${CMAKE_SOURCE_DIR}/=>)
    target_compile_definitions(${target} PRIVATE NOMINMAX WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0601 WINVER=0x0601)
    target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR})
endfunction()

# A unit test program: GoogleTest, run under Wine through the emulator, after the shared
# Wine fixture has started the wineserver.
function(velmora_unit_test name)
    cmake_parse_arguments(T "GUI" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    velmora_settings(${name})
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main_static)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 300 LABELS unit)
endfunction()

# A status plug-in DLL: no "lib" prefix, and sealed after every link so that the monitor
# accepts it (see monitor/plugin_seal.h).
function(velmora_plugin target)
    set_target_properties(${target} PROPERTIES PREFIX "")
    find_package(Python3 REQUIRED COMPONENTS Interpreter)
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/cmake/seal-plugin.py $<TARGET_FILE:${target}>
        VERBATIM)
endfunction()
