# Web build (Emscripten): the plug-in's core, the browser platform layer and the page's host as one WebAssembly
# program, and the static site around it in build/web/site.

set(GLOAMER_SITE_DIR ${CMAKE_BINARY_DIR}/site)

# emcc's JavaScript optimiser needs Debian's Node modules; the build steps get them whatever the shell had.
if(NOT DEFINED ENV{NODE_PATH})
  set_property(GLOBAL PROPERTY RULE_LAUNCH_LINK "env NODE_PATH=/usr/share/nodejs")
endif()

# C++ exceptions carry the host's errors up to the page, in every object of the program.
add_compile_options(-fexceptions)
add_link_options(-fexceptions)

# The plug-in's core drawing through the GL 1.1 layer over WebGL 2; the desktop-GL build of it is not needed here.
include(cmake/gles.cmake)
set_target_properties(gloamer_core PROPERTIES EXCLUDE_FROM_ALL ON)

# The Win32 + WGL subset over the canvas and WebGL 2.
file(GLOB WEB_PLATFORM_SOURCES CONFIGURE_DEPENDS platform/common/*.cpp platform/web/*.cpp)
add_library(gloamer_platform_web STATIC ${WEB_PLATFORM_SOURCES})
target_include_directories(gloamer_platform_web PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(gloamer_platform_web PRIVATE -Wall -Wextra)

# The page's host: the analyser (with our own FFT), the demo track, frame data files, the plug-in's driving; its rooms
# are the Linux host's, less what needs FFmpeg, SDL2, FFTW or a plug-in library file (host/rooms.cmake).
include(${CMAKE_SOURCE_DIR}/host/rooms.cmake)
gloamer_host_rooms(ROOMS analysis audio core replay page VARIANTS PAGE)
# The seam's browser backend under the core, as Linux's is; the plug-in linked in, which the page's host calls.
target_link_libraries(host_core PUBLIC gloamer_platform_web)
target_link_libraries(host_page PUBLIC gloamer_core_gles gloamer_gles)

gloamer_host_files(gloamer_page_program page PROGRAM)
add_executable(gloamer_page ${gloamer_page_program})
target_compile_options(gloamer_page PRIVATE -Wall -Wextra)
target_link_libraries(gloamer_page PRIVATE host_page)
# WebGL 2 only: the GL 1.1 subset is our own layer, not Emscripten's legacy GL emulation.
target_link_options(gloamer_page PRIVATE
  -sMIN_WEBGL_VERSION=2 -sMAX_WEBGL_VERSION=2
  -sALLOW_MEMORY_GROWTH=1 -sFORCE_FILESYSTEM=1 -sENVIRONMENT=web
  -sMODULARIZE=1 -sEXPORT_NAME=createGloamer
  -sEXPORTED_RUNTIME_METHODS=FS,UTF8ToString,ccall,HEAP16,HEAPU8)
set_target_properties(gloamer_page PROPERTIES
  OUTPUT_NAME gloamer SUFFIX ".js" RUNTIME_OUTPUT_DIRECTORY ${GLOAMER_SITE_DIR})

# The page, its scripts, the service worker and the app's manifest beside the program, as the site is served; copied
# again whenever they change.
set(GLOAMER_SITE_FILES)
foreach(name index.html page.js controls.js playlist.js live.js offline.js sw.js manifest.webmanifest)
  add_custom_command(OUTPUT ${GLOAMER_SITE_DIR}/${name}
    COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/host/page/site/${name} ${GLOAMER_SITE_DIR}/${name}
    DEPENDS ${CMAKE_SOURCE_DIR}/host/page/site/${name})
  list(APPEND GLOAMER_SITE_FILES ${GLOAMER_SITE_DIR}/${name})
endforeach()

# The logo travels as a PNG (the page makes the plug-in's bitmap of it) and gives the app its icons; for a page opened
# from a file, one script holds the program and the logo.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(GLOAMER_SITE_TOOL ${CMAKE_SOURCE_DIR}/host/page/make_site_assets.py)
add_custom_command(
  OUTPUT ${GLOAMER_SITE_DIR}/vis_gloamer.png ${GLOAMER_SITE_DIR}/icon-192.png ${GLOAMER_SITE_DIR}/icon-512.png
  COMMAND ${CMAKE_COMMAND} -E make_directory ${GLOAMER_SITE_DIR}
  COMMAND Python3::Interpreter ${GLOAMER_SITE_TOOL} logo ${GLOAMER_LOGO} ${GLOAMER_SITE_DIR}
  DEPENDS ${GLOAMER_LOGO} ${GLOAMER_SITE_TOOL})
add_custom_command(OUTPUT ${GLOAMER_SITE_DIR}/gloamer-embedded.js
  COMMAND Python3::Interpreter ${GLOAMER_SITE_TOOL} embed ${GLOAMER_SITE_DIR}/gloamer.wasm
          ${GLOAMER_SITE_DIR}/vis_gloamer.png ${GLOAMER_SITE_DIR}/gloamer-embedded.js
  DEPENDS gloamer_page ${GLOAMER_SITE_DIR}/vis_gloamer.png ${GLOAMER_SITE_TOOL})
list(APPEND GLOAMER_SITE_FILES ${GLOAMER_SITE_DIR}/vis_gloamer.png ${GLOAMER_SITE_DIR}/gloamer-embedded.js)
add_custom_target(gloamer_site ALL DEPENDS ${GLOAMER_SITE_FILES})
