#pragma once
// The WMI object model over real COM/WMI.
#include "platform/wmi_model.h"

IWmi& WmiComBackend();
