#pragma once
// What the LAN firmware upgrade may contact: the addresses of one pass, the
// interface entries they come from, the port and the time-outs, and the
// process-wide loopback-only guard every request passes first.

#include "vqupromconfig.h"

#include <QStringList>

// The other hosts of each IPv4 entry's subnet, never wider than its own /24,
// without the network and broadcast addresses, in order and each once. IPv6
// entries and interfaces that are not up and running are skipped.
QStringList vqUpRomAddressList(const QList<CvqIfAddr>& entries);

// "ADDR/MASK[,ADDR/MASK...]" as entries of interfaces that are up; empty on a
// malformed item.
QList<CvqIfAddr> vqParseIfList(const QString& text);

// The settings in force: CvqMonitorSeams::upRom's when set, else these
// defaults where, at first use, VQ_UPROM_PORT and VQ_UPROM_IFACES (the format
// of vqParseIfList) replace the port and the machine's interfaces.
CvqUpRomConfig vqUpRomConfig();

// The entries of the configured source.
QList<CvqIfAddr> vqUpRomIfEntries();

// False for an address outside 127.0.0.0/8 while VQ_LOOPBACK_ONLY is set
// (every test and the demo set it), and for anything that is no IPv4 address.
bool vqUpRomMayContact(const QString& ip);
