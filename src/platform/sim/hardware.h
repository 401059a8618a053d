// Puts the bench file's hardware on the bench: the maker's driver devices, the
// plain disks and the card readers with their units.
#pragma once

namespace usbisp::sim {

class Bench;
void InstallHardware(Bench& bench);

}  // namespace usbisp::sim
