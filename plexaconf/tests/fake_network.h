// A powerline network for the wizard's tests: the in-memory rawport with one adapter of the
// PC, and behind it either the emulator's devices or a scripted device that answers each frame
// sent. The adapter layer runs over it with short waits.
#pragma once

#include <gtest/gtest.h>

#include <string.h>

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/tests/test_support.h"
#include "common/thread.h"
#include "common/trace.h"
#include "plexaconf/adapter_layer.h"
#include "powerline/tests/fake_rawport.h"
#include "powerline/tests/test_stations.h"
#include "tools/plcsim/emulator.h"

namespace fakenetwork {

extern const char kAdapter[];
using teststations::Mac;
using teststations::kPc;
// The local adapter at the PC, a remote adapter and one of the vendor kind.
const tMacAddress kDesk = teststations::kLocal;
const tMacAddress kStudy = teststations::kRemote;
const tMacAddress kAttic = teststations::kHs;

// Short waits: answers come at once here, and the waits that run out do so quickly.
tKeyTimings FastTimings();

// One HomePlug 1.0 network and one of the vendor kind, each with a local adapter (desk), a
// remote adapter under the local one's key (study), one under another key (attic) and a
// neighbour; study and attic have security IDs STUDY00000000002 and ATTIC00000000003.
extern const char kHomePlugNetwork[];
extern const char kVendorNetwork[];

typedef std::vector<uint8_t> tBytes;
// A scripted device: answers to one sent frame.
typedef std::function<std::vector<tBytes>(const tBytes& sent)> tResponder;

class CFakeNetworkTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    void Network(const char* scenario);
    void Script(tResponder responder);
    // The device search, as the wizard runs it, only shorter.
    void Search();
    tNetworkKey KeyOf(const char* name);
    std::string Trace();
    size_t CountInTrace(const std::string& text);
    // Delivers a frame after a while, as a slow device would.
    void Later(DWORD ms, tBytes frame);

    testsupport::CTempDir m_dir;
    std::mutex m_lock;
    std::unique_ptr<CEmulator> m_emulator;
    tResponder m_responder;
    std::unique_ptr<CAdapterLayer> m_layer;
    std::shared_ptr<CInternalAdapter> m_adapter;
    std::vector<std::unique_ptr<CThread>> m_later;
};

} // namespace fakenetwork
