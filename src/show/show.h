// The show driver: start-up, the opening, and shutdown.
#pragma once

#include "show/timeline.h"
#include "sound.h"

// The main module ("vorbel.xm") and the blips ("knark.xm"), owned by the driver.
extern FMUSIC_MODULE *mod;
extern FMUSIC_MODULE *knark;

// Checks the sound library, starts sound output and loads both modules. On a
// failure prints its message on standard output and returns 1, before the
// terminal has been touched; returns 0 when sound is ready.
int start_sound();
// Prepares the terminal, starts the render thread, loads the font and turns
// the screen blue; returns 0. When the render thread cannot be started it
// says so on standard error, releases sound and returns 1.
int start_screen();
// The count-in, the words, the opening cards with their blips, the main
// module and the border crawlers.
void opening();
// One scene of the timeline, from its wipe up to the next scene's; the
// opening is opening() itself. The scroller reads the end card that the end
// shows.
void play_scene(scene_name scene);
// Every scene after the opening in the timeline's order, separated by wipes
// and announced by title cards or words, ending with the credits scroller and
// the end card.
void scenes();
// The credits line of the closing scroller.
extern const char credits[];
// The blank blue screen, bold white on blue.
void blank_screen();
// Lowers the main module's volume in steps of 10 every 100 ms until it is
// negative.
void fade_out();
// Fades out, releases sound, lets the render thread finish its frame, says on
// standard error which art files could not be loaded and which threads could
// not be started, one line each, and ends the process: with status 1 when a
// thread could not be started, else 0.
[[noreturn]] void end_show();
