#include "xEngineContext.h"

xEngineContext* GEngineContext = nullptr;
