#include "recordio/value_conversion.h"
