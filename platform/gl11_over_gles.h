// gl11_over_gles.h -- what platform/gl.h gives the plug-in's core in a GLES build: its GL 1.1 calls routed to this layer.
#pragma once

#include "platform/gl11_api.h"

// OpenGL ES 3 has functions of the same names (glClear, glBindTexture...); the core's calls take the layer's.
#define glBegin gl11Begin
#define glEnd gl11End
#define glVertex2f gl11Vertex2f
#define glVertex3f gl11Vertex3f
#define glTexCoord2f gl11TexCoord2f
#define glColor4f gl11Color4f
#define glMatrixMode gl11MatrixMode
#define glLoadIdentity gl11LoadIdentity
#define glPushMatrix gl11PushMatrix
#define glPopMatrix gl11PopMatrix
#define glFrustum gl11Frustum
#define glOrtho gl11Ortho
#define glTranslatef gl11Translatef
#define glRotatef gl11Rotatef
#define glEnable gl11Enable
#define glDisable gl11Disable
#define glAlphaFunc gl11AlphaFunc
#define glBlendFunc gl11BlendFunc
#define glCullFace gl11CullFace
#define glDepthFunc gl11DepthFunc
#define glDepthMask gl11DepthMask
#define glShadeModel gl11ShadeModel
#define glHint gl11Hint
#define glViewport gl11Viewport
#define glClearColor gl11ClearColor
#define glClearDepth gl11ClearDepth
#define glClear gl11Clear
#define glGetError gl11GetError
#define glBindTexture gl11BindTexture
#define glTexImage2D gl11TexImage2D
#define glTexParameterf gl11TexParameterf
#define glTexParameteri gl11TexParameteri
#define glCopyTexSubImage2D gl11CopyTexSubImage2D
