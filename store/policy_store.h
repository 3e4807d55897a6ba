// The policy values as the registry holds them (Win32; Ostinel and the support report both read them).
#pragma once

#include "core/policy_merge.h"

// Reads the policy values (POLICY_KEY, 64-bit view) as the registry holds them: each absent when
// the key or the value is missing. Never creates or writes anything.
RawPolicies ReadPolicies();
