# The Windows program (USBISP_WINDOWS=ON with a MinGW-w64 toolchain file):
# UsbIsp.exe on the real Windows services and UsbIspBench.exe over the bench,
# both linked statically so that they run on a bare Windows 98.
enable_language(RC)

# The JSON library reaches the cross build through a directory that holds only
# its headers, never through the host's include directory.
set(USBISP_JSON_HEADERS /usr/include/nlohmann CACHE PATH "The host's nlohmann JSON headers")
if(NOT EXISTS ${USBISP_JSON_HEADERS}/json.hpp)
  message(FATAL_ERROR "no nlohmann/json.hpp in ${USBISP_JSON_HEADERS} (install nlohmann-json3-dev)")
endif()
set(USBISP_JSON_INCLUDE ${CMAKE_BINARY_DIR}/json-include)
file(COPY ${USBISP_JSON_HEADERS}/ DESTINATION ${USBISP_JSON_INCLUDE}/nlohmann)

file(GLOB PLATFORM_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/platform/*.cpp)
add_library(usbisp_platform STATIC ${PLATFORM_SOURCES})
target_include_directories(usbisp_platform PUBLIC ${CMAKE_SOURCE_DIR}/src ${USBISP_JSON_INCLUDE})
# The core stands on the platform's shared parts (the image's layout, the
# byte order): linked after it, whatever order the programs name them in.
target_link_libraries(usbisp_core PUBLIC usbisp_platform)

file(GLOB EMULATOR_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/emulator/*.cpp)
add_library(usbisp_emulator STATIC ${EMULATOR_SOURCES})
target_include_directories(usbisp_emulator PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(usbisp_emulator PUBLIC usbisp_platform)

file(GLOB SIM_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/platform/sim/*.cpp)
add_library(usbisp_bench STATIC ${SIM_SOURCES})
target_include_directories(usbisp_bench PUBLIC ${CMAKE_SOURCE_DIR}/src ${USBISP_JSON_INCLUDE})
target_link_libraries(usbisp_bench PUBLIC usbisp_emulator usbisp_platform)

file(GLOB WIN32_PLATFORM_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/platform/win32/*.cpp)
add_library(usbisp_win32_platform STATIC ${WIN32_PLATFORM_SOURCES})
target_include_directories(usbisp_win32_platform PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(usbisp_win32_platform PUBLIC usbisp_platform)

set(WIN32_FRONTEND ${CMAKE_SOURCE_DIR}/frontends/win32)
add_library(usbisp_win32_ui STATIC ${WIN32_FRONTEND}/main_window.cpp ${WIN32_FRONTEND}/main_view.cpp
                                   ${WIN32_FRONTEND}/status_view.cpp ${WIN32_FRONTEND}/responsive.cpp
                                   ${WIN32_FRONTEND}/record_layouts.cpp)
target_include_directories(usbisp_win32_ui PUBLIC ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/frontends)
target_link_libraries(usbisp_win32_ui PUBLIC usbisp_core comctl32)

# Only ANSI calls: nothing may pull in the wide-character entry points.
foreach(target usbisp_win32_platform usbisp_win32_ui)
  target_compile_definitions(${target} PUBLIC WIN32_LEAN_AND_MEAN NOMINMAX WINVER=0x0400
                                              _WIN32_WINDOWS=0x0410 _WIN32_IE=0x0300)
endforeach()

# A windowed program; the 32-bit build declares subsystem 4.0, which Windows 95
# and 98 require (a 64-bit image cannot, and only serves the tests).
set(USBISP_WINDOWS_LINK -static -static-libgcc -static-libstdc++ -mwindows)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  list(APPEND USBISP_WINDOWS_LINK -Wl,--subsystem,windows:4.0 -Wl,--major-os-version,4
       -Wl,--minor-os-version,0)
endif()

set(USBISP_RESOURCES ${WIN32_FRONTEND}/usbisp.rc)
# The 32-bit images fill the runtime's imports that Windows 98 lacks with
# stand-ins of their own.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  list(APPEND USBISP_RESOURCES ${WIN32_FRONTEND}/win98_imports.cpp)
endif()
set_source_files_properties(${USBISP_RESOURCES} PROPERTIES OBJECT_DEPENDS
                            "${WIN32_FRONTEND}/usbisp.ico;${WIN32_FRONTEND}/resource_ids.h")

# Each program embeds its application manifest: common controls version 6,
# and the rights it asks for. UsbIsp.exe opens drives for raw requests, which
# needs an administrator from Windows Vista on; the bench program touches no
# device and runs as the user who starts it.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(USBISP_MANIFEST_ARCH X86)
else()
  set(USBISP_MANIFEST_ARCH amd64)
endif()
function(usbisp_manifest program level description out_rc)
  set(USBISP_MANIFEST_PROGRAM ${program})
  set(USBISP_MANIFEST_LEVEL ${level})
  set(USBISP_MANIFEST_DESCRIPTION ${description})
  set(USBISP_MANIFEST_FILE ${CMAKE_BINARY_DIR}/manifest/${program}.exe.manifest)
  configure_file(${WIN32_FRONTEND}/program.manifest.in ${USBISP_MANIFEST_FILE} @ONLY)
  set(rc ${CMAKE_BINARY_DIR}/manifest/${program}_manifest.rc)
  configure_file(${WIN32_FRONTEND}/manifest.rc.in ${rc} @ONLY)
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS ${USBISP_MANIFEST_FILE})
  set(${out_rc} ${rc} PARENT_SCOPE)
endfunction()
usbisp_manifest(UsbIsp requireAdministrator "USB Device upgrade F/W" USBISP_APP_MANIFEST)
usbisp_manifest(UsbIspBench asInvoker "USB Device upgrade F/W over the bench" USBISP_BENCH_MANIFEST)

add_executable(UsbIsp WIN32 ${WIN32_FRONTEND}/app_main.cpp ${USBISP_RESOURCES} ${USBISP_APP_MANIFEST})
target_link_libraries(UsbIsp PRIVATE usbisp_win32_ui usbisp_win32_platform usbisp_platform
                      ${USBISP_WINDOWS_LINK})

add_executable(UsbIspBench WIN32 ${WIN32_FRONTEND}/bench_main.cpp ${USBISP_RESOURCES}
                                 ${USBISP_BENCH_MANIFEST})
target_link_libraries(UsbIspBench PRIVATE usbisp_win32_ui usbisp_bench ${USBISP_WINDOWS_LINK})

foreach(program UsbIsp UsbIspBench)
  target_compile_definitions(${program} PRIVATE USBISP_VERSION="${PROJECT_VERSION}")
endforeach()

# The test driver of the Wine tests is a Windows program too.
include(${CMAKE_SOURCE_DIR}/tests/wine/driver/driver.cmake OPTIONAL)
