#include "show/demo_state.h"

demo_state demo;
