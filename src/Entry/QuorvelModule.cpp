// The product's plug-in module, Quorvel.8bf, is built round the product's filter class.
#include "FilterObjects.h"

const FilterClass kModuleFilterClass{&MakeQuorvel, &AsQuorvel};
