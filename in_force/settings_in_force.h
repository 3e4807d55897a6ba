// Putting the settings in force for the whole program: the state record takes them, the controller
// is sent a setup command when its part changed, the function button shows or hides, and the event
// log hears the policies. The settings dialog and the policy watch call it; it shows nothing.
#pragma once

#include "core/policy_merge.h"

// Reads the stored settings (not while AllowSettingsChanges 0 is in force) into the user's settings
// and puts them in force with the policies in force over them. False when the store could not be
// read: the user's settings stay as last read or stored.
bool LoadSettingsInForce();

// New policies: the user's settings with them over them go in force as OK puts settings in force
// (a setup command only when the controller's part changed), the function button follows, and the
// event log hears the policies in force.
void ApplyPolicies(const Policies& policies);

// What follows a change of the settings in force besides the state record and the controller: the
// function button shows or hides. OK calls it after putting its settings in force.
void FollowSettingsInForce(const SettingValues& inForce);
