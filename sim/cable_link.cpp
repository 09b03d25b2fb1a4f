#include "sim/cable_link.h"
