// Whole-program fuzz target: arbitrary input bytes through every mode of the
// detector (training, detection with offsets, -f and -F, evaluation) with a
// small fixed model, and through -F with an empty model, each output compared
// byte for byte with the reference model of the documented behaviour.  The training output must also be what
// fullstop-train accepts: the detector and the trainer read one format.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "../tests/unit/hostile_inputs.h"
#include "harness.h"
#include "in_process.h"
#include "reference.h"
#include "core/base/error.h"
#include "train/trainer.h"

namespace {

// Records of the bundled English model that fire often, plus a repeated name
// (whose winning record flips when the index grows), huge, infinite,
// not-a-number, subnormal and negative-zero weights.
const char kModel[] =
    "-0.18549871816904487\ttype_0_0\n"
    "-0.7165257797629875\ttype_1_1\n"
    "0.0502657233319215\tstem2_2_0_0_'\n"
    "-0.5032200548328043\ttype_2_2\n"
    "-0.8025710972714417\ttype_3_0\n"
    "0.04493613559547892\ttype_4_0\n"
    "-0.3756979632145818\ttype_1_0\n"
    "-1.0261124247017253\tstem2_2_1_0_\"\n"
    "-1.152840486250719\tstem2_2_0_1_\"\n"
    "1.5653164317460644\ttext_2_.\n"
    "2.862889855938008\tstem2_2_0_1_.\n"
    "0.39555334703030753\ttype_3_1\n"
    "-1.0694549101117317\tstem2_2_0_0_-\n"
    "-0.7824049297044913\ttype_0_1\n"
    "-1.8012726821995317\tstem2_2_0_1_,\n"
    "0.014384333888285673\ttype_3_2\n"
    "0.2757934866155388\ttype_1_2\n"
    "-0.09486705483354224\ttype_4_1\n"
    "-0.17285522247520063\ttype_4_2\n"
    "0.026995516063700705\ttype_0_2\n"
    "-0.7055675775770603\tstem2_2_0_1_,\"\n"
    "0.17497822389386453\tstem2_2_0_1_.\"\n"
    "-0.3922853075073639\ttext_2_:\n"
    "-0.7354547227402747\tstem2_2_0_1_:\n"
    "-0.8993570098953019\tstem2_2_1_0_(\n"
    "-0.3912101111327492\tstem2_2_0_1_)\n"
    "-2.093180010534479\tstem2_2_1_1_--\n"
    "-1.0666850640719086\tstem2_2_1_0_$\n"
    "-0.39909222597069915\ttext_1_a\n"
    "-1.400318982928713\tstem2_2_0_0_,\n"
    "-0.5561916151206121\tstem2_2_0_1_'\n"
    "-0.7756520019584757\tstem2_2_1_0_'\n"
    "-3.764984459238817\tstem2_2_0_0_.\n"
    "1.1792846322980823\tstem2_2_0_1_.)\n"
    "-2.920391277741658\ttext_1_Dr\n"
    "-0.9159433452665795\tstem2_2_1_1_&\n"
    "1.9365401963610724\tstem2_2_0_1_?\"\n"
    "-2.243003297600992\ttext_1_St\n"
    "-4.200115100580109\ttext_1_Mr\n"
    "1.4238358045287653\ttext_2_?\n"
    "2.077575640943623\tstem2_2_0_1_?\n"
    "3.5844837246107417\ttext_2_;\n"
    "3.334955176897306\tstem2_2_0_1_;\n"
    "1.542708313417425\tstem2_2_0_1_.'\"\n"
    "2.372882796180881\tstem2_2_0_1_!\"\n"
    "1.3801404358529343\tstem2_2_0_1_?'\"\n"
    "4.158222675302367\tstem2_2_0_1_.;\n"
    "3.377985541592418\tstem2_2_0_1_).\"\n"
    "-0.49578558530763245\tstem2_2_0_1_),\n"
    "2.3253345871061804\tstem2_2_0_1_).\n"
    "-2.8533923596107202\tstem2_2_0_0_:\n"
    "-0.406234923865666\tstem2_2_1_0_((\n"
    "1.2529614394507842\ttext_2_!\n"
    "1.9433549416212288\tstem2_2_0_1_!\n"
    "-3.0099904811683276\tstem2_2_1_0_(\"\n"
    "-0.06302042508527375\tstem2_2_0_0_/\n"
    "-2.3825205797306683\tstem2_2_0_1_%\n"
    "-0.003940244715327015\tstem2_2_0_1_%,\n"
    "0.6946634326951615\tstem2_2_0_1_%.\n"
    "-0.9161078187396012\tstem2_2_0_1_\")\n"
    "-1\ttext_2_!\n"
    "1e308\ttext_1_?\n"
    "1e308\ttext_3_?\n"
    "-inf\ttext_0_#\n"
    "inf\ttext_4_#\n"
    "nan\ttext_2_~\n"
    "0x1p-1074\ttext_2_,\n"
    "-0.0\ttype_2_2\n"
    "  2.5\ttext_3_The\n"
    "-0x1.8p+1\tstem_3_the\n";

// Loaded once and shared by every run, as a library user would.
const harness::LoadedModel *fixed_model = nullptr;
const harness::LoadedModel *empty_model = nullptr;
ref::Model model;

// What the detector writes in training mode is fullstop-train's input.
void check_trainer_accepts(std::string_view input, const std::string &contexts, const std::string &def) {
  try {
    fullstop::train::FeatureNames names = fullstop::train::parse_feature_names(def, "features.def");
    if (contexts.empty()) return;  // no punctuation site: nothing to train on
    fullstop::train::Contexts parsed = fullstop::train::parse_contexts(contexts, "contexts");
    fullstop::train::check_feature_ids(parsed, "contexts", names, "features.def");
  } catch (const fullstop::core::Error &e) {
    harness::fail(std::string("fullstop-train rejects the training output: ") + e.what() +
                  "\ninput:\n" + harness::show(input));
  }
}

void check_mode(std::string_view input, ref::Mode mode, const ref::Result &want,
                const harness::LoadedModel &loaded = *fixed_model) {
  harness::Options options;
  options.text_mode_forced = true;  // the reference reads the classic mode
  options.forced_text_mode = harness::TextMode::classic;
  options.test = mode == ref::Mode::eval;
  options.form = mode == ref::Mode::bare   ? harness::FormKind::lines
                 : mode == ref::Mode::text ? harness::FormKind::xml_with_text
                                           : harness::FormKind::xml;
  harness::RunResult got;
  harness::run_in_process(got, input, mode == ref::Mode::train ? nullptr : &loaded, "fixed.model",
                          options);

  std::string what = std::string("standard output in ") + ref::mode_name(mode) + " mode";
  if (got.out != want.out) harness::mismatch(what.c_str(), input, want.out, got.out);
  if (!got.err.empty()) harness::mismatch("standard error", input, "", got.err);
  if (mode != ref::Mode::train) {
    std::string streamed =
        harness::stream_in_process(input, loaded, "fixed.model", options, static_cast<uint32_t>(input.size()));
    if (streamed != got.out) harness::mismatch("streamed output", input, got.out, streamed);
  }
  if (mode == ref::Mode::train) {
    const std::string &def = got.features_def;
    if (def != want.features_def) harness::mismatch("features.def", input, want.features_def, def);
    check_trainer_accepts(input, got.out, def);
    std::string streamed = harness::train_stream_in_process(input, harness::TextMode::classic, static_cast<uint32_t>(input.size()));
    if (streamed != got.out + "--\n" + def)
      harness::mismatch("streamed training", input, got.out + "--\n" + def, streamed);
  }
}

// An input that starts with 0x01 is a recipe for text made of tokens that
// collide under unkeyed hashes (tests/unit/hostile_inputs.h): each later byte
// adds up to 32 tokens of one kind, so a few bytes make hundreds of feature
// names that would share a bucket, and the index grows while the fixed
// model's repeated name is in play.
std::string hostile_text(std::string_view recipe) {
  std::mt19937_64 rng(recipe.size());
  std::string text, last = "x";
  for (unsigned char c : recipe) {
    int repeat = (c >> 3) + 1;
    for (int k = 0; k < repeat; k++) {
      switch (c % 8) {
        case 0: last = hostile::doubled_token(rng); break;
        case 1: last = hostile::colliding_word(rng); break;
        case 2: last = "."; break;
        case 3: last = "\n"; break;
        case 4: last = "Mr."; break;
        case 5: last = "!"; break;
        default: break;  // the last token again
      }
      text += last;
      text += c % 2 ? " " : " . ";
    }
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  harness::init();
  std::string_view bytes(kModel, sizeof kModel - 1);
  auto *fixed = new harness::LoadedModel;
  harness::load_model_from(*fixed, "fixed.model", bytes);
  fixed_model = fixed;
  auto *empty = new harness::LoadedModel;
  harness::load_model_from(*empty, "empty.model", "");
  empty_model = empty;
  model = ref::load_model(bytes);
  if (model.stop_line != 0) harness::fail("the fixed model does not load whole");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *bytes, size_t size) {
  std::string_view input(reinterpret_cast<const char *>(bytes), size);
  std::string expanded;
  if (size > 0 && bytes[0] == 0x01) {
    expanded = hostile_text(input.substr(1, 48));
    input = expanded;
  }
  std::vector<ref::Result> want = ref::run_all(input, model.records);
  for (ref::Mode mode :
       {ref::Mode::train, ref::Mode::offsets, ref::Mode::text, ref::Mode::bare, ref::Mode::eval})
    check_mode(input, mode, want[static_cast<int>(mode)]);
  // With no weights every window scores exactly zero, a case the fixed model
  // (which weighs every window's types) never reaches.
  std::vector<ref::Result> unweighted = ref::run_detection(input, {});
  check_mode(input, ref::Mode::bare, unweighted[static_cast<int>(ref::Mode::bare)], *empty_model);
  return 0;
}
