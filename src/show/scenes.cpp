#include "show/show.h"

void scenes() {}
