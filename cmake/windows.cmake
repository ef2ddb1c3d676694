# Windows build: vis_gloamer.dll, importing only system DLLs, with the logo beside it.

# A player on a clean Windows has no mingw runtime: libgcc, libstdc++ and winpthread go in statically.
set(GLOAMER_STATIC_RUNTIME -static -static-libgcc -static-libstdc++)

add_library(vis_gloamer MODULE ${CMAKE_SOURCE_DIR}/plugin/entry/vis_gloamer.def)
target_link_libraries(vis_gloamer PRIVATE
  "$<LINK_LIBRARY:WHOLE_ARCHIVE,gloamer_core>" opengl32 gdi32 user32)
target_link_options(vis_gloamer PRIVATE ${GLOAMER_STATIC_RUNTIME})
set_target_properties(vis_gloamer PROPERTIES LINKER_LANGUAGE CXX PREFIX "" OUTPUT_NAME vis_gloamer)
if(EXISTS ${GLOAMER_LOGO})
  add_custom_command(TARGET vis_gloamer POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${GLOAMER_LOGO} $<TARGET_FILE_DIR:vis_gloamer>/vis_gloamer.bmp)
endif()

# gloamer.exe: the host's protocol, frame loop and picture output, with frame data files in place of live audio. Its
# rooms are the Linux host's, less FFmpeg, SDL2 and the rest of the desktop's (host/rooms.cmake).
include(${CMAKE_SOURCE_DIR}/host/rooms.cmake)
set(GLOAMER_WIN32_ROOMS process analysis core video offline replay win32)
gloamer_host_rooms(ROOMS ${GLOAMER_WIN32_ROOMS} VARIANTS NATIVE WIN32)
# Each room names the system DLLs, so that they follow it on the link line.
foreach(room IN LISTS GLOAMER_WIN32_ROOMS)
  target_link_libraries(host_${room} PUBLIC opengl32 gdi32 user32)
endforeach()

# The JSON library is one header of Debian's, outside the cross compiler's root: reached through a folder that
# holds it alone, so that no other Linux header is on the Windows build's path.
find_path(GLOAMER_JSON_DIR nlohmann/json.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/json-include)
file(CREATE_LINK ${GLOAMER_JSON_DIR}/nlohmann ${CMAKE_BINARY_DIR}/json-include/nlohmann SYMBOLIC)
target_include_directories(host_offline SYSTEM PRIVATE ${CMAKE_BINARY_DIR}/json-include)
# The command-line library likewise, header-only: its folder alone.
find_path(GLOAMER_CLI11_DIR CLI/CLI.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/cli11-include)
file(CREATE_LINK ${GLOAMER_CLI11_DIR}/CLI ${CMAKE_BINARY_DIR}/cli11-include/CLI SYMBOLIC)
target_include_directories(host_process SYSTEM PUBLIC ${CMAKE_BINARY_DIR}/cli11-include)

gloamer_host_files(gloamer_program win32 PROGRAM)
add_executable(gloamer ${gloamer_program})
target_link_libraries(gloamer PRIVATE host_win32)
target_compile_definitions(gloamer PRIVATE GLOAMER_VERSION="${PROJECT_VERSION}")
target_link_options(gloamer PRIVATE ${GLOAMER_STATIC_RUNTIME})
target_compile_options(gloamer PRIVATE -Wall -Wextra)
