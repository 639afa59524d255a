#pragma once
// Which ports a run offers and where the chosen one stands among them.
//
// The probe opens each port to see that it is there, so it misses every
// port that is open already: the one this program holds for its own
// transfers and one that another program holds. The stored "CommPort" is a
// place in the offered list, and that list moves whenever the probe finds
// a different set; the port number the place was chosen for is stored
// beside it, so that the choice keeps naming the same port.

#include <array>
#include <cstdint>
#include <initializer_list>

#include "transfer/CommSettings.h"

namespace quorlin {

using PortList = decltype(CommSettings::portList);

// found: the probe's port numbers, 0 for an empty place. keep: ports to
// offer although the probe did not open them (the port in use, the stored
// choice); 0 is ignored. The result is ascending with the empty places at
// the end; when there are more ports than places, the highest found ones
// give way and every kept port stays.
PortList OfferedPorts(const PortList& found, std::initializer_list<unsigned> keep);

// The place of number in list; -1 for 0 or a port the list does not offer.
int32_t PlaceOfPort(const PortList& list, unsigned number);

// The stored place checked against the port it was chosen for: with a port
// number recorded, that port's place in list (which is to offer it, see
// OfferedPorts); without one (a profile written before the number was
// kept), the stored place as it stands.
int32_t SettledCommPort(const PortList& list, int32_t storedPlace, unsigned chosenNumber);

}  // namespace quorlin
