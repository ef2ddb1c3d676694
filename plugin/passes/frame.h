// frame.h -- one whole frame: sprites over the feedback trail, the captures, and the glow on top.
#pragma once

void composeFrame();
