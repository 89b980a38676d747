#pragma once
// The WMI object model over real COM/WMI.
#include <oaidl.h>

#include "platform/wmi_model.h"

IWmi& WmiComBackend();

// The conversions between the model's values and VARIANTs. An integer of any width becomes
// Int32; a byte array becomes a one-dimensional SAFEARRAY of VT_UI1 with lower bound 0, owned by
// the VARIANT (VariantClear frees it). False when the value has no VARIANT form.
WmiValue WmiValueFromVariant(const VARIANT& variant);
bool WmiVariantFromValue(const WmiValue& value, VARIANT& variant);
