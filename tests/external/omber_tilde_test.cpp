// The omber~ module as the headless host loads it: class registration,
// attributes, messages, assist and the signal chain.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "external/maxhost/host.h"
#include "external/maxhost/signal_chain.h"
#include "link/frame.h"
#include "loopback_server.h"

namespace omber::maxhost {
namespace {

using namespace std::chrono_literals;

class OmberTilde : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string error;
    ASSERT_TRUE(loadModule(OMBER_EXTERNAL_MODULE, error)) << error;
  }
  void SetUp() override {
    setPostHandler([this](t_object*, const std::string& text) {
      std::lock_guard<std::mutex> guard(lock_);
      posts_.push_back(text);
    });
  }
  void TearDown() override {
    for (t_object* object : objects_) freeObject(object);
    setPostHandler(nullptr);
  }
  t_object* make(const std::string& args) {
    t_object* object = newObject("omber~", parseAtoms(args));
    if (object) objects_.push_back(object);
    return object;
  }
  std::vector<std::string> posts() {
    std::lock_guard<std::mutex> guard(lock_);
    return posts_;
  }
  static t_atom_long attribute(t_object* object, const char* name) {
    t_atom_long value = -99;
    EXPECT_TRUE(getAttributeLong(object, name, value));
    return value;
  }

  std::mutex lock_;
  std::vector<std::string> posts_;
  std::vector<t_object*> objects_;
};

TEST_F(OmberTilde, AttributesFromTheBoxAreClippedToZeroOrOne) {
  t_object* plain = make("");
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(attribute(plain, "role"), 0);
  EXPECT_EQ(attribute(plain, "capture"), 0);
  EXPECT_EQ(signalInlets(plain), 2);
  EXPECT_EQ(signalOutlets(plain), 2);

  t_object* feeder = make("@role 1 @capture 1");
  EXPECT_EQ(attribute(feeder, "role"), 1);
  EXPECT_EQ(attribute(feeder, "capture"), 1);

  t_object* clipped = make("@role 7 @capture -3");
  EXPECT_EQ(attribute(clipped, "role"), 1);
  EXPECT_EQ(attribute(clipped, "capture"), 0);
  ASSERT_TRUE(setAttribute(clipped, "role", {longAtom(-1)}));
  EXPECT_EQ(attribute(clipped, "role"), 0);
  EXPECT_FALSE(setAttribute(clipped, "volume", {longAtom(1)}));
}

// Max writes an attribute at the width of its declared type; the field
// omber~ reads must hold exactly that value, whatever bytes were there
// before. ("long" is 4 bytes on Windows x64, a t_atom_long 8.)
TEST_F(OmberTilde, SwitchAttributesFillTheWholeFieldOmberReads) {
  t_object* object = make("");
  for (const char* name : {"role", "capture"}) {
    long offset = 0;
    std::size_t width = 0;
    ASSERT_TRUE(attributeField(object, name, offset, width)) << name;
    EXPECT_EQ(width, sizeof(t_atom_long)) << name;
    if (std::string(name) == "role") continue;  // role has a setter of its own
    char* field = reinterpret_cast<char*>(object) + offset;
    std::memset(field, 0xff, sizeof(t_atom_long));
    ASSERT_TRUE(setAttribute(object, name, {longAtom(0)}));
    t_atom_long stored = -1;
    std::memcpy(&stored, field, sizeof stored);
    EXPECT_EQ(stored, 0) << name;
  }
}

TEST_F(OmberTilde, AssistNamesTheSignals) {
  t_object* object = make("");
  EXPECT_EQ(assist(object, true, 0), "(signal) capture in L / messages");
  EXPECT_EQ(assist(object, true, 1), "(signal) capture in R");
  EXPECT_EQ(assist(object, false, 0), "(signal) OMBER out L");
  EXPECT_EQ(assist(object, false, 1), "(signal) OMBER out R");
}

TEST_F(OmberTilde, ConnectMessagesWithoutAUsablePortArePosted) {
  t_object* object = make("");
  EXPECT_TRUE(sendMessage(object, "connect", {}));
  EXPECT_TRUE(sendMessage(object, "connect", {longAtom(0)}));
  EXPECT_TRUE(sendMessage(object, "connect", {longAtom(70000)}));
  EXPECT_TRUE(sendMessage(object, "connect", {symbolAtom("x")}));
  EXPECT_TRUE(sendMessage(object, "connect", {longAtom(7400), longAtom(12)}));  // a token is a symbol
  EXPECT_TRUE(sendMessage(object, "disconnect"));
  EXPECT_TRUE(sendMessage(object, "capture", {longAtom(1)}));
  EXPECT_FALSE(sendMessage(object, "dsp64"));  // private
  EXPECT_FALSE(sendMessage(object, "nonsense"));
  EXPECT_EQ(posts(), (std::vector<std::string>{"omber~: connect <port>", "omber~: bad port 0", "omber~: bad port 70000",
                                               "omber~: bad port 0", "omber~: bad token"}));
}

TEST_F(OmberTilde, SignalChainPlaysSilenceUntilInitAndTheRoleSwitchesToPassThrough) {
  t_object* object = make("@role 0");
  SignalChain chain;
  ASSERT_TRUE(chain.compile({object}, 48000.0, 64));
  for (long k = 0; k < 64; ++k) chain.input(0, 0)[k] = 0.5;
  chain.tick();
  EXPECT_EQ(std::vector<double>(chain.output(0, 0), chain.output(0, 0) + 64), std::vector<double>(64, 0.0));

  ASSERT_TRUE(setAttribute(object, "role", {longAtom(1)}));
  chain.tick();
  EXPECT_EQ(std::vector<double>(chain.output(0, 0), chain.output(0, 0) + 64), std::vector<double>(64, 0.5));
  EXPECT_EQ(std::vector<double>(chain.output(0, 1), chain.output(0, 1) + 64), std::vector<double>(64, 0.0));
}

TEST_F(OmberTilde, ConnectWithATokenSendsItBeforeTheHello) {
  external::testing::LoopbackServer server;
  t_object* object = make("");
  ASSERT_TRUE(sendMessage(object, "connect", {longAtom(server.port()), symbolAtom("5eed")}));
  ASSERT_TRUE(server.accept(3000ms));
  ASSERT_TRUE(server.pumpUntil([&] { return server.rawBytes().size() >= 9 + 12; }, 3000ms));
  const std::vector<std::uint8_t> token(server.rawBytes().begin(), server.rawBytes().begin() + 9);
  EXPECT_EQ(token, (std::vector<std::uint8_t>{5, 0, 0, 0, 0x83, '5', 'e', 'e', 'd'}));
  EXPECT_EQ(server.rawBytes()[9 + 4], 0x80);  // then the Hello
}

TEST_F(OmberTilde, AFeederCreatedCapturingAnnouncesItselfAndUploads) {
  external::testing::LoopbackServer server;
  t_object* object = make("@role 1 @capture 1");
  SignalChain chain;
  ASSERT_TRUE(chain.compile({object}, 96000.0, 128));
  ASSERT_TRUE(sendMessage(object, "connect", {longAtom(server.port())}));
  ASSERT_TRUE(server.accept(3000ms));
  for (int i = 0; i < 200; ++i) {
    for (long k = 0; k < 128; ++k) chain.input(0, 0)[k] = chain.input(0, 1)[k] = 0.25;
    chain.tick();
  }
  ASSERT_TRUE(server.pumpUntil([&] { return !server.framesOfType(link::FrameType::CapturePcm).empty(); }, 3000ms));
  const auto hello = server.framesOfType(link::FrameType::Hello).at(0);
  EXPECT_EQ(hello.payload, (std::vector<std::uint8_t>{1, 0x00, 0x77, 0x01, 0x00, 2, 0}));  // role 1, 96000 Hz
  const auto pcm = server.framesOfType(link::FrameType::CapturePcm).at(0);
  float first;
  std::memcpy(&first, pcm.payload.data() + 4, sizeof first);
  EXPECT_EQ(first, 0.25f);
  const auto all = posts();
  EXPECT_NE(std::find(all.begin(), all.end(), "omber~: connected to 127.0.0.1:" + std::to_string(server.port())),
            all.end());
}

}  // namespace
}  // namespace omber::maxhost
