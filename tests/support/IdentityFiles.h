// Identity files of a configuration directory for the check tests: the
// CONFIG.INF first line, SVP_MAIN.INI, DKCPRP.DAT and LMCPT.DAT, written
// into \PLAXON\CONFIG\ or \PLAXON\TMP\ of a TestWorld.
#pragma once

#include <string>

#include "support/TestWorld.h"

struct IdentityFiles {
  std::string svpType = "TQ520";
  std::string serial = "412345";  // empty: no SERIAL= line (a never-set serial)
  int model = 7;
  int pcmType = 3;
  std::string configInfLine = "SVPCONF 01020360";  // type "60" at 14..15

  // Writes the four files below "PLAXON/<dir>/" ("CONFIG" or "TMP").
  void WriteTo(TestWorld& world, const std::string& dir) const {
    const std::string base = "PLAXON/" + dir + "/";
    world.WriteHostFile('C', base + "CONFIG.INF", configInfLine + "\r\nLINE2\r\n");
    world.WriteHostFile('C', base + "SVP_MAIN.INI", "[SVP_MAIN]\r\nType=" + svpType + "\r\n");
    std::string dkcprp = serial.empty() ? "" : "SERIAL=" + serial + "\r\n";
    dkcprp += "MODEL=" + std::to_string(model) + "\r\n";
    world.WriteHostFile('C', base + "DKCPRP.DAT", dkcprp);
    world.WriteHostFile('C', base + "LMCPT.DAT", "PCMTYPE=" + std::to_string(pcmType) + "\r\n");
  }
};
