// Compiled once per executable with TIVARNE_EDITION set to the profile
// of the edition being built.
#include "run/edition_profile.h"

const EditionProfile& edition = TIVARNE_EDITION;
