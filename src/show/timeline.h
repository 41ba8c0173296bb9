// The show's timeline: its scenes in the order the driver plays them, and the
// moment each begins, in milliseconds from the show's first frame. A scene
// begins with the wipe that clears the screen for it (the opening with the
// first frame, the scroller as the closing plasma ends) and lasts until the
// next one begins; the end card stays up while the music fades out.
//
// The moments are the sums of the main thread's pauses, which set the show's
// pace: the scene test plays each scene and checks its pauses against this
// table, so a hold or a scene that changes length fails there until the table
// follows. The tools that photograph, record or cut the show at set moments
// take them from here through the timeline program.
#pragma once

enum scene_name {
    SCENE_OPENING,
    SCENE_CHING,
    SCENE_SIGNALS,
    SCENE_VORTEX,
    SCENE_MOONWALK,
    SCENE_FIRE,
    SCENE_FIREWORKS,
    SCENE_WORMS,
    SCENE_SPINNING,
    SCENE_MUNCHING,
    SCENE_PLASMA,
    SCENE_SCROLLER,
    SCENE_END,
    SCENE_COUNT
};

struct scene_time {
    scene_name scene;
    const char *name;
    long start_ms;
};

inline constexpr scene_time timeline[SCENE_COUNT] = {
    {SCENE_OPENING, "opening", 0},       {SCENE_CHING, "ching", 0},
    {SCENE_SIGNALS, "signals", 0},       {SCENE_VORTEX, "vortex", 0},
    {SCENE_MOONWALK, "moonwalk", 0},     {SCENE_FIRE, "fire", 0},
    {SCENE_FIREWORKS, "fireworks", 0},   {SCENE_WORMS, "worms", 0},
    {SCENE_SPINNING, "spinning", 0},     {SCENE_MUNCHING, "munching", 0},
    {SCENE_PLASMA, "plasma", 0},         {SCENE_SCROLLER, "scroller", 0},
    {SCENE_END, "end", 0},
};
// When the music has faded out and the show ends.
inline constexpr long SHOW_END_MS = 0;

// Each row holds its own scene, in order, each beginning after the one before.
constexpr bool timeline_in_order() {
    for (int i = 0; i < SCENE_COUNT; i++)
        if (timeline[i].scene != i || (i > 0 && timeline[i].start_ms <= timeline[i - 1].start_ms))
            return false;
    return timeline[SCENE_COUNT - 1].start_ms < SHOW_END_MS;
}
