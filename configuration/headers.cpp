#include "configuration/configuration.h"
#include "configuration/settings.h"
#include "configuration/templateimport.h"
#include "engine/run.h"
