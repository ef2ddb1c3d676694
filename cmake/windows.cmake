# Windows build: vis_gloamer.dll, importing only system DLLs, with the logo beside it.

# A player on a clean Windows has no mingw runtime: libgcc, libstdc++ and winpthread go in statically.
set(GLOAMER_STATIC_RUNTIME -static -static-libgcc -static-libstdc++)

add_library(vis_gloamer MODULE ${CMAKE_SOURCE_DIR}/plugin/vis_gloamer.def)
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
  host/win32/import_patch.cpp
  host/win32/frame_hooks_win32.cpp
  host/win32/message_box_catcher.cpp
  host/win32/system_win32.cpp
  host/win32/interrupt_win32.cpp
  host/win32/video_out_win32.cpp
  host/pending_file.cpp
  host/plugin_library.cpp
  host/host_window.cpp
  host/plugin_session.cpp
  host/analysis/frame_span.cpp
  host/visualizer/interrupt.cpp
  host/render/offline_renderer.cpp
  host/render/output.cpp
  host/render/progress.cpp
  host/render/render_job.cpp
  host/replay/frame_data.cpp
  host/replay/replay_job.cpp
  host/video/frame_grabber_gl11.cpp
  host/video/picture_sequence.cpp
  host/video/png_encoder_stored.cpp
  host/video/stored_png.cpp)
target_include_directories(gloamer PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(gloamer PRIVATE opengl32 gdi32 user32)
target_link_options(gloamer PRIVATE ${GLOAMER_STATIC_RUNTIME})
target_compile_options(gloamer PRIVATE -Wall -Wextra)
