# Linux build: the SDL2 platform layer, vis_gloamer.so, the gloamer host, the tests, and the Windows build beside it.
find_package(SDL2 REQUIRED)
set(OpenGL_GL_PREFERENCE GLVND)
find_package(OpenGL REQUIRED COMPONENTS OpenGL EGL)
find_package(X11 REQUIRED)

option(GLOAMER_BUILD_TESTS "Build the test suite" ON)
find_program(GLOAMER_MINGW_CXX i686-w64-mingw32-g++)
if(GLOAMER_MINGW_CXX)
  set(GLOAMER_WITH_WIN32_DEFAULT ON)
else()
  set(GLOAMER_WITH_WIN32_DEFAULT OFF)
endif()
option(GLOAMER_WITH_WIN32 "Also build the Windows DLL with mingw-w64 (i686)" ${GLOAMER_WITH_WIN32_DEFAULT})

set(CMAKE_BUILD_RPATH_USE_ORIGIN ON)
# Host, plug-in, platform layer and logo side by side, as they are installed.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

# The Win32 + WGL subset over SDL2: one shared library, so that host and plug-in share windows and messages.
file(GLOB PLATFORM_SOURCES CONFIGURE_DEPENDS platform/common/*.cpp platform/sdl/*.cpp)
add_library(gloamer_platform SHARED ${PLATFORM_SOURCES})
target_include_directories(gloamer_platform PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(gloamer_platform PUBLIC SDL2::SDL2 ${CMAKE_DL_LIBS} PRIVATE X11::X11)
target_compile_options(gloamer_platform PRIVATE -Wall -Wextra)

# The shared bookkeeping over the null backend: the template a new backend starts from, and what the tests of
# platform/common link against.
file(GLOB PLATFORM_NULL_SOURCES CONFIGURE_DEPENDS platform/common/*.cpp platform/null/*.cpp)
add_library(gloamer_platform_null STATIC ${PLATFORM_NULL_SOURCES})
target_include_directories(gloamer_platform_null PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(gloamer_platform_null PRIVATE -Wall -Wextra)
set_target_properties(gloamer_platform_null PROPERTIES EXCLUDE_FROM_ALL ON)

add_library(vis_gloamer MODULE ${CMAKE_SOURCE_DIR}/plugin/entry/exports.map)
target_link_libraries(vis_gloamer PRIVATE
  "$<LINK_LIBRARY:WHOLE_ARCHIVE,gloamer_core>" gloamer_platform OpenGL::OpenGL)
target_link_options(vis_gloamer PRIVATE
  -Wl,--no-undefined -Wl,--version-script=${CMAKE_SOURCE_DIR}/plugin/entry/exports.map)
set_target_properties(vis_gloamer PROPERTIES LINKER_LANGUAGE CXX PREFIX "" BUILD_RPATH "$ORIGIN" INSTALL_RPATH "$ORIGIN")

if(EXISTS ${GLOAMER_LOGO})
  add_custom_command(TARGET vis_gloamer POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${GLOAMER_LOGO} $<TARGET_FILE_DIR:vis_gloamer>/vis_gloamer.bmp)
endif()

# The plug-in once more over the GL 1.1 layer on OpenGL ES 3, for the test that compares it with desktop GL;
# not packaged. The platform layer gives it ES contexts under GLOAMER_GL_PROFILE=es.
include(cmake/gles.cmake)
find_library(GLOAMER_GLESV2 GLESv2 REQUIRED)
add_library(vis_gloamer_gles MODULE ${CMAKE_SOURCE_DIR}/plugin/entry/exports.map)
target_link_libraries(vis_gloamer_gles PRIVATE
  "$<LINK_LIBRARY:WHOLE_ARCHIVE,gloamer_core_gles>" gloamer_gles gloamer_platform ${GLOAMER_GLESV2})
target_link_options(vis_gloamer_gles PRIVATE
  -Wl,--no-undefined -Wl,--version-script=${CMAKE_SOURCE_DIR}/plugin/entry/exports.map)
set_target_properties(vis_gloamer_gles PROPERTIES LINKER_LANGUAGE CXX PREFIX "" BUILD_RPATH "$ORIGIN")
add_dependencies(vis_gloamer_gles vis_gloamer) # the logo beside it

add_subdirectory(host)
add_subdirectory(bench)

if(GLOAMER_WITH_WIN32)
  include(ExternalProject)
  ExternalProject_Add(win32
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${CMAKE_BINARY_DIR}/win32
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    USES_TERMINAL_BUILD ON)
  set(GLOAMER_WIN32_DIR ${CMAKE_BINARY_DIR}/win32)
endif()

include(cmake/packaging.cmake)

if(GLOAMER_BUILD_TESTS)
  enable_testing()
  add_subdirectory(tests)
endif()
