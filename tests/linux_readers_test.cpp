#include "inventory/linux_readers.h"
