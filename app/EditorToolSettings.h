#pragma once
// The NC tools' and the Compare window's remembered choices, each in a
// profile group of its own ("Renumber", "Compare") beside "Prop".

#include "nc/NcCompare.h"
#include "nc/NcTools.h"

namespace quorlin {

// Missing or unusable values read as the tools' defaults.
nc::RenumberOptions ReadRenumberOptions();
void WriteRenumberOptions(const nc::RenumberOptions& options);

nc::CompareOptions ReadCompareOptions();
void WriteCompareOptions(const nc::CompareOptions& options);

}  // namespace quorlin
