# The Wine tests' driver: a console program that starts the Windows program and
# works its windows as an operator would. Built with the Windows program.
add_executable(WineDriver ${CMAKE_SOURCE_DIR}/tests/wine/driver/driver_main.cpp
                          ${CMAKE_SOURCE_DIR}/tests/wine/driver/window_finder.cpp
                          ${CMAKE_SOURCE_DIR}/tests/wine/driver/busy_actions.cpp
                          ${CMAKE_SOURCE_DIR}/tests/wine/driver/relay_trace.cpp
                          ${CMAKE_SOURCE_DIR}/tests/wine/driver/program_names.cpp)
target_include_directories(WineDriver PRIVATE ${CMAKE_SOURCE_DIR}/tests/wine/driver
                                              ${CMAKE_SOURCE_DIR}/frontends)
target_compile_definitions(WineDriver PRIVATE WIN32_LEAN_AND_MEAN NOMINMAX)
target_link_libraries(WineDriver PRIVATE usbisp_bench -static -static-libgcc -static-libstdc++)
