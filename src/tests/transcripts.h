// What the upgrade sends, written out batch by batch, as the tests expect it.
#pragma once

#include <string>
#include <vector>

using Transcript = std::vector<std::string>;

// A run on a database that every step has already upgraded: probes and mark lookups only.
Transcript UpgradedRun();
// The probe that guards the print-margin and personnel block.
std::string PrtblankProbe();
// The lookup of a version mark.
std::string MarkLookup(const std::string& mark);
