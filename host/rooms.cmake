# The host's rooms, each a static library host_<room>: the files of each room, one list per variant, and the rooms
# each links. host/CMakeLists.txt (Linux), cmake/windows.cmake (gloamer.exe) and cmake/web.cmake (the page) pick
# from these lists; a file is named here and nowhere else.
#
# The variants, each built by the builds that name it:
#   SOURCES  every build that has the room (a room that one build alone has keeps all its files here)
#   NATIVE   the builds that load the plug-in from its library file: Linux and gloamer.exe, not the page
#   DESKTOP  the Linux build's FFmpeg, SDL2, FFTW and EGL
#   POSIX    the Linux build's system files: the twins of the NAME_win32.cpp files, and what only Linux has
#   WIN32    gloamer.exe's: Win32 calls, and its stand-ins where Linux has FFmpeg
#   PAGE     the page's (WebAssembly)
#   PROGRAM  the program's own files, outside the library: main(), and the calls that only the page's script makes
#            (a static library would leave those out, as nothing in C++ calls them)
#
# HOST_<ROOM>_LINKS: the rooms the room's library links; its row's "may include" column in docs/architecture.md
# must allow each, and each room its files include must be here (tests/layout/check_layout.py checks both).
set(GLOAMER_HOST_DIR ${CMAKE_CURRENT_LIST_DIR})

set(HOST_PROCESS_LINKS)
set(HOST_PROCESS_SOURCES pending_file.cpp interrupt.cpp output_checks.cpp failure_report.cpp progress_bar.cpp
  command_line_checks.cpp)
set(HOST_PROCESS_POSIX system_linux.cpp child_process_linux.cpp interrupt_posix.cpp)
set(HOST_PROCESS_WIN32 system_win32.cpp interrupt_win32.cpp)

set(HOST_MEDIA_LINKS process)
set(HOST_MEDIA_SOURCES media_input.cpp read_watch.cpp cover_picture.cpp)

set(HOST_AUDIO_LINKS media process)
set(HOST_AUDIO_SOURCES demo_track.cpp)
set(HOST_AUDIO_DESKTOP audio_decoder.cpp audio_file.cpp track_stream.cpp sdl_audio.cpp audio_output.cpp
  audio_capture.cpp playlist.cpp track_loading.cpp)

set(HOST_ANALYSIS_LINKS audio process)
set(HOST_ANALYSIS_SOURCES frame_span.cpp spectrum_analyser.cpp spectrum_shaper.cpp real_fft_own.cpp)
set(HOST_ANALYSIS_DESKTOP real_fft_fftw.cpp stream_reach.cpp)
set(HOST_ANALYSIS_PAGE real_fft_web.cpp)

set(HOST_CORE_LINKS analysis audio process)
set(HOST_CORE_SOURCES host_window.cpp plugin_session.cpp message_loop.cpp frame_rows.cpp heard_rows.cpp)
set(HOST_CORE_NATIVE plugin_library.cpp gl_renderer.cpp)
set(HOST_CORE_DESKTOP egl_devices.cpp gpu_choice.cpp)

set(HOST_VIDEO_LINKS media process)
set(HOST_VIDEO_SOURCES output.cpp picture_sequence.cpp stored_png.cpp)
set(HOST_VIDEO_DESKTOP video_file_ffmpeg.cpp hardware_encoder.cpp png_encoder_ffmpeg.cpp encoder_thread.cpp join.cpp
  audio_track_writer.cpp remux.cpp video_quality.cpp)
set(HOST_VIDEO_WIN32 video_file_win32.cpp png_encoder_stored.cpp)

set(HOST_OFFLINE_LINKS core video analysis process)
set(HOST_OFFLINE_SOURCES offline_renderer.cpp render_job.cpp progress.cpp progress_lines.cpp)
set(HOST_OFFLINE_DESKTOP frame_grabber_pbo.cpp part_plan.cpp frame_feed.cpp random_catch_up.cpp)
set(HOST_OFFLINE_POSIX render_supervisor_linux.cpp frame_hooks_posix.cpp)
set(HOST_OFFLINE_WIN32 render_supervisor_win32.cpp frame_hooks_win32.cpp import_patch.cpp frame_grabber_gl11.cpp)

set(HOST_REPLAY_LINKS offline core video process)
set(HOST_REPLAY_SOURCES frame_data.cpp)
set(HOST_REPLAY_NATIVE replay_job.cpp)

set(HOST_LOGO_LINKS media process)
set(HOST_LOGO_SOURCES logo_picture.cpp logo_folder.cpp logo_choice.cpp)

set(HOST_PLAYER_LINKS core analysis audio process)
set(HOST_PLAYER_SOURCES audio_feed.cpp frame_loop.cpp player_controls.cpp playlist_player.cpp run_visualizer.cpp
  display_check.cpp)

set(HOST_STREAM_LINKS offline core video analysis audio media process)
set(HOST_STREAM_SOURCES stream_target.cpp stream_pacer.cpp stream_audio.cpp stream_encoder.cpp stream_sender.cpp
  stream_run.cpp title_file.cpp captured_sound.cpp stream_options.cpp)

set(HOST_BATCH_LINKS media process)
set(HOST_BATCH_SOURCES batch_list.cpp batch_shard.cpp batch_record.cpp batch_child.cpp batch_run.cpp batch_unit.cpp
  batch_claim.cpp batch_parts.cpp batch_status.cpp cluster_job.cpp slurm_script.cpp kubernetes_job.cpp
  cluster_estimate.cpp)

set(HOST_COMMANDS_LINKS batch stream replay player offline logo video core analysis audio media process)
set(HOST_COMMANDS_SOURCES command_line.cpp play_command.cpp live_command.cpp devices_command.cpp render_command.cpp
  analyse_command.cpp replay_command.cpp logo_command.cpp batch_command.cpp timeout_option.cpp
  completion_command.cpp join_command.cpp stream_command.cpp encoding_options.cpp)
set(HOST_COMMANDS_PROGRAM main.cpp)

set(HOST_WIN32_LINKS core offline replay process)
set(HOST_WIN32_SOURCES message_box_catcher.cpp exe_command_line.cpp)
set(HOST_WIN32_PROGRAM main.cpp)

set(HOST_PAGE_LINKS core replay analysis audio process)
set(HOST_PAGE_SOURCES web_host.cpp)
set(HOST_PAGE_PROGRAM page_exports.cpp live_input.cpp)

# The paths of a room's files in the variants named, into the variable `out`.
function(gloamer_host_files out room)
  string(TOUPPER ${room} ROOM)
  set(paths)
  foreach(variant IN LISTS ARGN)
    set(files ${HOST_${ROOM}_${variant}})
    list(TRANSFORM files PREPEND ${GLOAMER_HOST_DIR}/${room}/)
    list(APPEND paths ${files})
  endforeach()
  set(${out} ${paths} PARENT_SCOPE)
endfunction()

# host_<room> for each of ROOMS, of its SOURCES and the VARIANTS named; each links those of its HOST_<ROOM>_LINKS
# that this build makes too.
function(gloamer_host_rooms)
  cmake_parse_arguments(PARSE_ARGV 0 arg "" "" "ROOMS;VARIANTS")
  foreach(room IN LISTS arg_ROOMS)
    string(TOUPPER ${room} ROOM)
    gloamer_host_files(sources ${room} SOURCES ${arg_VARIANTS})
    add_library(host_${room} STATIC ${sources})
    target_include_directories(host_${room} PUBLIC ${CMAKE_SOURCE_DIR})
    target_compile_options(host_${room} PRIVATE -Wall -Wextra)
    foreach(linked IN LISTS HOST_${ROOM}_LINKS)
      if(linked IN_LIST arg_ROOMS)
        target_link_libraries(host_${room} PUBLIC host_${linked})
      endif()
    endforeach()
  endforeach()
endfunction()
