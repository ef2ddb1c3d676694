// sprite_animation.h -- builds the frame's sprites from the clock and the loudness of the two spectrum channels.
#pragma once

void animateSprites();
