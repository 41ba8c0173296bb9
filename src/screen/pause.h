// Every pause of the show goes through pause_us, so that a test can replace the
// wait: with a hook installed, pause_us calls it instead of sleeping.
#pragma once

using pause_hook_t = void (*)(long usec);

// Sleeps `usec` microseconds, or hands the pause to the installed hook.
void pause_us(long usec);
// Installs a hook (nullptr restores real sleeping).
void set_pause_hook(pause_hook_t hook);
