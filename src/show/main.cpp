// The demo: starts sound and screen, plays the show, fades out and exits.
#include "show/show.h"

int main() {
    if (start_sound() != 0 || start_screen() != 0)
        return 1;
    opening();
    scenes();
    end_show();
}
