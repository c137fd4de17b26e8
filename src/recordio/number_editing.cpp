#include "recordio/number_editing.h"
