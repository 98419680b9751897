#include "run/update_run.h"

UpdateRun run;
