# The GL 1.1 subset over OpenGL ES 3 / WebGL 2 (platform/gles/), and the plug-in's core built a second time to draw
# through it. Needs only a current GLES 3 context and <GLES3/gl3.h>: natively EGL on Mesa, in the browser WebGL 2.
file(GLOB GLES_SOURCES CONFIGURE_DEPENDS platform/gles/*.cpp)
add_library(gloamer_gles STATIC ${GLES_SOURCES})
target_include_directories(gloamer_gles PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(gloamer_gles PRIVATE -Wall -Wextra)

# The same sources as gloamer_core; platform/gl.h routes their GL calls to the layer.
add_library(gloamer_core_gles STATIC ${CORE_SOURCES})
target_include_directories(gloamer_core_gles PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_definitions(gloamer_core_gles PUBLIC GLOAMER_GL_GLES)
target_compile_options(gloamer_core_gles PRIVATE -Wall -Wextra)

set_target_properties(gloamer_gles gloamer_core_gles PROPERTIES
  POSITION_INDEPENDENT_CODE ON
  CXX_VISIBILITY_PRESET hidden
  VISIBILITY_INLINES_HIDDEN ON)
