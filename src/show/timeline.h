// The show's timeline: its scenes in the order the driver plays them, and the
// moment each begins, in microseconds from the show's first frame. A scene
// begins with the wipe that clears the screen for it (the opening with the
// first frame, the scroller as the closing plasma ends) and lasts until the
// next one begins; the end card stays up while the music fades out.
//
// The moments are the sums of the main thread's pauses, which set the show's
// pace: the scene test plays each scene and checks its pauses against this
// table, so a hold or a scene that changes length fails there until the table
// follows. Only the fireworks vary: each volley's last rocket holds the show
// for a random 36 to 54 of its 60 ms frames, so every later scene begins up to
// 2.16 s after its start here. A loaded machine stretches the show besides:
// every pause sleeps a little longer than asked (played niced at a load of 20,
// its frames ran for 160.0 s against 156.6 to 158.7 here).
//
// The tools that photograph, record or cut the show at set moments take them
// from here through the timeline program.
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
    long start_us;   // when the scenes before it were as short as they can be
    long longer_us;  // how much longer than its shortest this scene may last
};

inline constexpr scene_time timeline[SCENE_COUNT] = {
    {SCENE_OPENING, "opening", 0, 0},
    {SCENE_CHING, "ching", 20750000, 0},
    {SCENE_SIGNALS, "signals", 28050000, 0},
    {SCENE_VORTEX, "vortex", 43066500, 0},
    {SCENE_MOONWALK, "moonwalk", 55791500, 0},
    {SCENE_FIRE, "fire", 69441500, 0},
    {SCENE_FIREWORKS, "fireworks", 83941500, 2 * 18 * 60000},
    {SCENE_WORMS, "worms", 95136500, 0},
    {SCENE_SPINNING, "spinning", 104386500, 0},
    {SCENE_MUNCHING, "munching", 113786500, 0},
    {SCENE_PLASMA, "plasma", 119786500, 0},
    {SCENE_SCROLLER, "scroller", 129536500, 0},
    {SCENE_END, "end", 153976500, 0},
};
// When the music has faded out and the show ends.
inline constexpr long SHOW_END_US = 156576500;

// Each row holds its own scene, in order, each beginning after the one before.
constexpr bool timeline_in_order() {
    for (int i = 0; i < SCENE_COUNT; i++)
        if (timeline[i].scene != i || (i > 0 && timeline[i].start_us <= timeline[i - 1].start_us))
            return false;
    return timeline[SCENE_COUNT - 1].start_us < SHOW_END_US;
}

static_assert(timeline_in_order(), "each scene of the timeline in its row, each after the last");
