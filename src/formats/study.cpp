#include "formats/study.hpp"
