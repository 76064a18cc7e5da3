// (still to come)
#pragma once

#include "iec.hpp"
