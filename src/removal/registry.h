// The registry phase.
#pragma once

// Deletes the RegistryList's keys and values.
void RemoveRegistryEntries();
