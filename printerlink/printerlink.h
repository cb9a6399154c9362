#pragma once
// Everything the programs use of the printer link library.

#include "vqproduct.h"
#include "vqdiscovery.h"
#include "vqdeviceid.h"
#include "vqjetmem.h"
#include "vqstate.h"
#include "vqpoll.h"
#include "vqlog.h"
#include "host/vqhost.h"
#include "vqcommsg.h"
#include "vqcomlink.h"
#include "vqcomm.h"
#include "vqscan.h"
#include "vqscanpages.h"
