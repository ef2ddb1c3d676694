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

# gloamer.exe: the host's protocol, frame loop and picture output, with frame data files in place of live audio.
add_executable(gloamer
  host/win32/main.cpp
  host/win32/exe_command_line.cpp
  host/win32/message_box_catcher.cpp
  host/replay/frame_data.cpp
  host/replay/replay_job.cpp
  host/offline/frame_grabber_gl11.cpp
  host/offline/frame_hooks_win32.cpp
  host/offline/import_patch.cpp
  host/offline/offline_renderer.cpp
  host/offline/progress.cpp
  host/offline/progress_lines.cpp
  host/offline/render_job.cpp
  host/video/output.cpp
  host/video/picture_sequence.cpp
  host/video/png_encoder_stored.cpp
  host/video/stored_png.cpp
  host/video/video_file_win32.cpp
  host/core/frame_rows.cpp
  host/core/gl_renderer.cpp
  host/core/host_window.cpp
  host/core/message_loop.cpp
  host/core/plugin_library.cpp
  host/core/plugin_session.cpp
  host/analysis/frame_span.cpp
  host/process/command_line_checks.cpp
  host/process/failure_report.cpp
  host/process/interrupt.cpp
  host/process/interrupt_win32.cpp
  host/process/output_checks.cpp
  host/process/pending_file.cpp
  host/process/system_win32.cpp)
target_include_directories(gloamer PRIVATE ${CMAKE_SOURCE_DIR})
# The JSON library is one header of Debian's, outside the cross compiler's root: reached through a folder that
# holds it alone, so that no other Linux header is on the Windows build's path.
find_path(GLOAMER_JSON_DIR nlohmann/json.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/json-include)
file(CREATE_LINK ${GLOAMER_JSON_DIR}/nlohmann ${CMAKE_BINARY_DIR}/json-include/nlohmann SYMBOLIC)
target_include_directories(gloamer SYSTEM PRIVATE ${CMAKE_BINARY_DIR}/json-include)
# The command-line library likewise, header-only: its folder alone.
find_path(GLOAMER_CLI11_DIR CLI/CLI.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/cli11-include)
file(CREATE_LINK ${GLOAMER_CLI11_DIR}/CLI ${CMAKE_BINARY_DIR}/cli11-include/CLI SYMBOLIC)
target_include_directories(gloamer SYSTEM PRIVATE ${CMAKE_BINARY_DIR}/cli11-include)
target_compile_definitions(gloamer PRIVATE GLOAMER_VERSION="${PROJECT_VERSION}")
target_link_libraries(gloamer PRIVATE opengl32 gdi32 user32)
target_link_options(gloamer PRIVATE ${GLOAMER_STATIC_RUNTIME})
target_compile_options(gloamer PRIVATE -Wall -Wextra)
