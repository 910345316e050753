#include "feature.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

std::vector<Feature *> feats;
HashTable *fhash = nullptr;
int nnz = 0;
int32_t e_feats[1024];
int32_t e_vals[1024];

namespace {

// Bucket count of `fhash` when the per-word id caches were filled.  A growth
// of the index reverses the order of entries that share a name, which changes
// which record a name repeated in a model resolves to; the caches are dropped
// whenever that happens so every lookup answers as a fresh one would.
int cached_index_size = 0;

void drop_id_caches() {
  for (Word &w : words)
    for (int32_t &id : w.ids) id = -1;
  cached_index_size = fhash->size;
}

char *copy_name(std::string_view name) {
  char *text = static_cast<char *>(std::malloc(name.size() + 1));
  if (text == nullptr) out_of_memory();
  std::memcpy(text, name.data(), name.size());
  text[name.size()] = '\0';
  return text;
}

int32_t find_or_build(const std::string &name) {
  if (Feature *f = static_cast<Feature *>(hash_find(fhash, name.c_str()))) return f->id;
  return build_feature(name, 0.0)->id;
}

std::string name_buffer;

// The standard assertion message, kept in every build type (NDEBUG or not).
[[noreturn]] void capacity_failed(const char *expr, const char *file, unsigned line,
                                  const char *function) {
  std::fprintf(stderr, "%s: %s:%u: %s: Assertion `%s' failed.\n", program_invocation_short_name,
               file, line, function, expr);
  std::abort();
}

}  // namespace

void reset_features() {
  for (Feature *f : feats) std::free(f);
  feats.clear();
  if (fhash) hash_free(fhash);  // frees the names too: they are the keys
  fhash = nullptr;
  nnz = 0;
  cached_index_size = 0;
}

Feature *build_feature(std::string_view name, double weight) {
  Feature *f = static_cast<Feature *>(std::calloc(1, sizeof(Feature)));
  if (f == nullptr) out_of_memory();
  f->id = static_cast<int32_t>(feats.size());
  f->text = copy_name(name);
  f->weight = weight;
  hash_add(fhash, f->text, f);
  feats.push_back(f);
  return f;
}

void new_event() { nnz = 0; }

void new_feature(int32_t id) {
  int k = 0;
  while (k < nnz && e_feats[k] < id) k++;
  if (k < nnz && e_feats[k] == id) {
    e_vals[k]++;
    return;
  }
  if (!(nnz < kEventCapacity)) capacity_failed("nnz<1020", __FILE__, __LINE__, "new_feature");
  if (k < nnz) {
    std::memmove(e_feats + k + 1, e_feats + k, (nnz - k) * sizeof e_feats[0]);
    std::memmove(e_vals + k + 1, e_vals + k, (nnz - k) * sizeof e_vals[0]);
  }
  e_feats[k] = id;
  e_vals[k] = 1;
  nnz++;
}

void new_feature(std::string_view name) {
  name_buffer.assign(name);
  new_feature(find_or_build(name_buffer));
}

void feature_name(std::string &out, int which, int p, const Token &t) {
  static constexpr const char *kPrefix[kTemplates] = {"text_", "stem_", "stem2_", "type_"};
  out.assign(kPrefix[which]);
  append_int(out, p);
  out.push_back('_');
  const Word &w = t.w();
  switch (which) {
    case 0:
      out.append(t.text());
      break;
    case 1:
      out.append(w.stem);
      break;
    case 2:
      out.push_back(w.space_before ? '1' : '0');
      out.push_back('_');
      out.push_back(w.space_after ? '1' : '0');
      out.push_back('_');
      out.append(w.stem);
      break;
    default:
      append_int(out, token_type(w));
      break;
  }
}

void do_features(const Token *window, int count) {
  if (cached_index_size != fhash->size) drop_id_caches();
  for (int p = 0; p < count; p++) {
    const Token &t = window[p];
    if (p >= kWindow) {
      // Positions beyond the cached five are formed and looked up each time.
      for (int which = 0; which < kTemplates; which++) {
        feature_name(name_buffer, which, p, t);
        new_feature(find_or_build(name_buffer));
      }
      continue;
    }
    int32_t *ids = words[t.word].ids + p * kTemplates;
    if (ids[0] < 0) {
      // First time this word stands at this position (since the caches were
      // last dropped): form its four names in template order, so that new
      // features get their ids in order of first formation.
      for (int which = 0; which < kTemplates; which++) {
        feature_name(name_buffer, which, p, t);
        int32_t id = find_or_build(name_buffer);
        if (cached_index_size != fhash->size) {
          // The index just grew: cached ids formed before the growth may no
          // longer be what a lookup answers.
          drop_id_caches();
        }
        ids = words[t.word].ids + p * kTemplates;
        ids[which] = id;
        new_feature(id);
      }
      continue;
    }
    for (int which = 0; which < kTemplates; which++) new_feature(ids[which]);
  }
}
