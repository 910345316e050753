"""Held-out folds of the German, French, Spanish, Portuguese and Dutch data:
fullstop beside the peers.

  bench/languages [--lang L]... [--folds K] [--systems S,...] [--jobs N]
                  [--json OUT] [--markdown OUT] [--keep DIR]

Each treebank set of data/ud (train and dev of one treebank count as one
set) is cut into K folds: ranges of consecutive sentences where the set is
one paragraph, whole paragraphs (documents) where it has several.  Fold k of
a language is fold k of each of its sets; for each fold, every system that
learns is trained on the language's other folds and run on the held-out
fold's running text (its paragraphs' sentences joined by one space, as in
data/ud/*.txt).  Scores are boundary F1 over all boundaries
(scripts/score-boundaries), pooled over the K held-out folds of each set.

Systems (--systems, default all):
  fullstop    the language's recipe (models/settings/LANG, as
              scripts/make-model builds it), its train sets cut to the
              training folds (abbreviation uses and augmented copies made
              from those only)
  first       scripts/train-model --text-mode=unicode -c 3 on the training
              folds' sentences, no augmentation (the first fit)
  en          models/en.model, the English model, untrained
  icu         ICU's sentence BreakIterator in the language's locale
              (bench/icu_split.cpp)
  punkt       NLTK's Punkt, trained unsupervised on the training folds'
              running text (NLTK's pretrained parameters are not installed)
  opennlp     Apache OpenNLP's sentence detector trained on the training
              folds' sentences (eos . ? !)
  sentencex   the npm package sentencex with its language code
              (bench/sentencex_split.mjs; installed with npm pack into
              bench/out/npm)

"ceiling" is the share of gold boundaries whose sentence ends in one of
. ? ! : ; ... (closing quotes and brackets aside): what a splitter that
ends sentences only at marks can find.
"""

import argparse
import collections
import concurrent.futures
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

from . import locations, peers, scoring, settings
from .files import atomic_open

UD = locations.DATA["ud"]

# Per language: its sets (each a name and the data/ud files read in order),
# ICU's locale.  sentencex and OpenNLP take the language code itself.
LANGUAGES = collections.OrderedDict([
    ("de", {"name": "German", "sets": [("GSD", ["de_gsd-dev"])], "icu": "de_DE"}),
    ("fr", {"name": "French", "sets": [("GSD", ["fr_gsd-dev"]),
                                       ("Sequoia", ["fr_sequoia-train", "fr_sequoia-dev"])],
            "icu": "fr_FR"}),
    ("es", {"name": "Spanish", "sets": [("GSD", ["es_gsd-dev"])], "icu": "es_ES"}),
    ("pt", {"name": "Portuguese", "sets": [("Bosque", ["pt_bosque-dev"]),
                                           ("GSD", ["pt_gsd-train", "pt_gsd-dev"])],
            "icu": "pt_BR"}),
    ("nl", {"name": "Dutch", "sets": [("Alpino", ["nl_alpino-dev"]),
                                      ("LassySmall", ["nl_lassysmall-dev"])],
            "icu": "nl_NL"}),
])
SYSTEMS = ["fullstop", "first", "en", "icu", "punkt", "opennlp", "sentencex"]
FINAL_MARKS = ".?!:;\u2026"
CLOSERS = "\"')]}\u00bb\u201d\u2019\u203a\u201c"


def log(msg):
    print("languages: " + msg, file=sys.stderr, flush=True)


# ---------------------------------------------------------------- folds
#
# A paragraph is (file, sentences): the data/ud file it comes from, so that
# a recipe's train sets can be cut to the training folds file by file.


def read_set(files, ud=UD):
    """The paragraphs of a set's files, in order."""
    paras = []
    for name in files:
        with open(os.path.join(ud, name + ".lines"), encoding="utf-8") as f:
            cur = []
            for line in f.read().split("\n"):
                if line.strip():
                    cur.append(line)
                elif cur:
                    paras.append((name, cur))
                    cur = []
            if cur:
                paras.append((name, cur))
    return paras


def cut_folds(paras, k):
    """k folds, each a list of paragraphs: whole paragraphs in order where
    there are at least 2k of them, balanced by sentences; else the
    sentences cut into k consecutive ranges (a paragraph cut across two
    folds becomes a paragraph in each)."""
    total = sum(len(p) for _, p in paras)
    folds = [[] for _ in range(k)]
    if len(paras) >= 2 * k:
        seen = 0
        for para in paras:
            folds[min(k - 1, seen * k // total)].append(para)
            seen += len(para[1])
        return folds
    seen = 0
    for name, p in paras:
        last = None
        for s in p:
            f = min(k - 1, seen * k // total)
            if f != last:
                folds[f].append((name, []))
                last = f
            folds[f][-1][1].append(s)
            seen += 1
    return folds


def running_text(paras):
    """(text bytes, gold spans) of paragraphs of sentences, as data/ud
    writes NAME.txt and NAME.gold: a paragraph's sentences joined by one
    space, paragraphs by a blank line."""
    text, gold = bytearray(), []
    for n, para in enumerate(paras):
        if n:
            text += b"\n"
        for i, s in enumerate(para):
            b = s.encode("utf-8")
            if i:
                text += b" "
            gold.append((len(text), len(text) + len(b), n))
            text += b
        text += b"\n"
    return bytes(text), gold


def write_lines(path, paras):
    with atomic_open(path, "w", encoding="utf-8") as f:
        f.write("\n\n".join("\n".join(p) for p in paras) + "\n")


def no_mark_share(paras):
    """(boundaries, those after a sentence without a final mark): the last
    sentence of the text is no boundary."""
    sents = [s for p in paras for s in p]
    total = bare = 0
    for s in sents[:-1]:
        total += 1
        tail = s.rstrip().rstrip(CLOSERS)
        if not tail or tail[-1] not in FINAL_MARKS:
            bare += 1
    return total, bare


# ---------------------------------------------------------------- systems
#
# A system is trained once per fold (train(paragraphs, work) -> state, the
# paragraphs tagged with their files) and run on texts (run(state, text
# bytes) -> spans).

def spans_of_xml(out):
    return [(int(a), int(b)) for a, b in re.findall(rb'<sentence start="(\d+)" end="(\d+)"', out)]


class System:
    def __init__(self, lang, ctx):
        self.lang, self.ctx = lang, ctx

    def train(self, paras, work):
        return None


class Fullstop(System):
    """The language's recipe with its train sets cut to the training folds:
    each data/ud file of the recipe is written to a folder of its own,
    holding only its sentences outside the held-out fold (files of other
    languages as they are)."""

    def train(self, paras, work):
        folder = os.path.join(work, "ud")
        os.makedirs(folder, exist_ok=True)
        by_file = collections.OrderedDict()
        for name, p in paras:
            by_file.setdefault(name, []).append(p)
        recipe = settings.load(self.ctx.get("recipe", {}).get(self.lang) or self.lang)
        for source in recipe.sources:
            top, _, rest = source.name.partition("/")
            if top == "ud" and rest in by_file:
                write_lines(os.path.join(folder, rest + ".lines"), by_file[rest])
            elif top == "ud" and not os.path.exists(os.path.join(folder, rest + ".lines")):
                os.symlink(os.path.join(UD, rest + ".lines"), os.path.join(folder, rest + ".lines"))
        model = os.path.join(work, "fullstop.model")
        with open(os.path.join(work, "make-model.log"), "wb") as logf:
            subprocess.run([sys.executable, os.path.join(locations.SCRIPTS, "make-model"),
                            "--no-figures", "--data", "ud=" + folder, recipe.path, model],
                           stdout=logf, stderr=subprocess.STDOUT, check=True,
                           env=dict(os.environ, FULLSTOP_BIN=self.ctx["fullstop"],
                                    FULLSTOP_TRAIN=self.ctx["fullstop"] + "-train"))
        return model

    def run(self, model, text):
        r = subprocess.run([self.ctx["fullstop"], "-m", model], input=text,
                           capture_output=True, check=True)
        return spans_of_xml(r.stdout)


class First(Fullstop):
    """scripts/train-model --text-mode=unicode -c 3 on the training folds."""

    def train(self, paras, work):
        lines = os.path.join(work, "train.lines")
        write_lines(lines, [p for _, p in paras])
        model = os.path.join(work, "first.model")
        subprocess.run([os.path.join(locations.SCRIPTS, "train-model"), "--text-mode=unicode",
                        "-c", "3", lines, model], check=True, stderr=subprocess.DEVNULL,
                       env=dict(os.environ, FULLSTOP_BIN=self.ctx["fullstop"],
                                FULLSTOP_TRAIN=self.ctx["fullstop"] + "-train"))
        return model


class English(Fullstop):
    def train(self, paras, work):
        return os.path.join(locations.MODELS, "en.model")


class Icu(System):
    def run(self, state, text):
        return peers.icu_spans(self.ctx["icu"], text, LANGUAGES[self.lang]["icu"])


class Punkt(System):
    def train(self, paras, work):
        from nltk.tokenize.punkt import PunktSentenceTokenizer
        text, _ = running_text([p for _, p in paras])
        return PunktSentenceTokenizer(text.decode("utf-8"))

    def run(self, tok, text):
        return peers.punkt_spans(tok, text)


class OpenNlp(System):
    def train(self, paras, work):
        lines = os.path.join(work, "opennlp.lines")
        write_lines(lines, [p for _, p in paras])
        return peers.opennlp_trainer(lines, os.path.join(work, "opennlp.bin"), self.lang)

    def run(self, model, text):
        return peers.opennlp_spans(model, text)


class Sentencex(System):
    def run(self, state, text):
        return peers.sentencex_spans(self.ctx["node_path"], self.lang, text)


CLASSES = {"fullstop": Fullstop, "first": First, "en": English, "icu": Icu, "punkt": Punkt,
           "opennlp": OpenNlp, "sentencex": Sentencex}


def language_peers(lang):
    """[(name, split, note)]: the peers of the fold table, trained on all of
    the language's data (cached in bench/out/lang-LANG/), as functions from
    a text's bytes to byte spans: for the language's edge-case suite."""
    work = os.path.join(peers.OUT, "lang-" + lang)
    os.makedirs(work, exist_ok=True)
    paras = [p for _, files in LANGUAGES[lang]["sets"] for p in read_set(files)]
    sets = ", ".join("data/ud/%s" % f for _, files in LANGUAGES[lang]["sets"] for f in files)
    ctx = {"icu": peers.build_icu()}
    out = [("ICU", Icu(lang, ctx), None, "ICU: bench/icu_split.cpp, %s" % LANGUAGES[lang]["icu"])]
    if shutil.which("opennlp"):
        model = os.path.join(work, "opennlp.bin")
        inst = OpenNlp(lang, ctx)
        if not os.path.exists(model):
            inst.train(paras, work)
        out.append(("OpenNLP", inst, model, "OpenNLP: trained on %s" % sets))
    try:
        inst = Punkt(lang, ctx)
        out.append(("Punkt", inst, inst.train(paras, work),
                    "Punkt: trained unsupervised on the running text of %s" % sets))
    except ImportError as e:
        log("Punkt skipped: %s" % e)
    try:
        ctx["node_path"] = peers.npm_modules("sentencex")
        out.append(("sentencex", Sentencex(lang, ctx), None,
                    "sentencex %s (npm), language %s" % (dict(peers.NPM_PACKAGES["sentencex"])["sentencex"], lang)))
    except (OSError, subprocess.CalledProcessError) as e:
        log("sentencex skipped: %s" % e)
    return [(name, (lambda inst, state: lambda data: inst.run(state, data))(inst, state), note)
            for name, inst, state, note in out]


# ---------------------------------------------------------------- scoring


def pooled_f1(results):
    """(P, R, F1) over the pooled counts of all boundaries of several
    scoring.score results."""
    gold = sum(r["counts"]["gold"] for r in results)
    system = sum(r["counts"]["system"] for r in results)
    correct = sum(r["counts"]["correct"] for r in results)
    return scoring.prf(correct, system, gold)


def evaluate(lang, systems, k, ctx, keep=None, jobs=2):
    """{set name: {system: (P, R, F1), "boundaries": n, "no_mark": share}}."""
    language = LANGUAGES[lang]
    sets = [(name, cut_folds(read_set(files), k)) for name, files in language["sets"]]
    per = {name: collections.defaultdict(list) for name, _ in sets}
    insts = {s: CLASSES[s](lang, ctx) for s in systems}

    def fold_job(f):
        work = tempfile.mkdtemp(prefix="%s-fold%d." % (lang, f), dir=keep)
        try:
            train = [p for _, folds in sets for g, fold in enumerate(folds) if g != f for p in fold]
            out = []
            for s, inst in insts.items():
                state = inst.train(train, work)
                for name, folds in sets:
                    text, gold = running_text([p for _, p in folds[f]])
                    spans = inst.run(state, text)
                    res = scoring.score(text, gold, [(a, b, None) for a, b in spans])
                    g_all, s_all = res.pop("_sets")
                    if ctx.get("show") and s == systems[0]:
                        for kind, points in (("FP", s_all - g_all), ("FN", g_all - s_all)):
                            for point in sorted(points):
                                log("%s %s %s fold %d: %s" % (s, name, kind, f,
                                                             scoring.context(text, point)))
                    out.append((name, s, f, res))
            return out
        finally:
            if not keep:
                shutil.rmtree(work, ignore_errors=True)

    with concurrent.futures.ThreadPoolExecutor(jobs) as pool:
        for rows in pool.map(fold_job, range(k)):
            for name, s, f, res in rows:
                per[name][s].append(res)
                log("%s %-10s fold %d %-9s F1 %.4f" % (lang, name, f, s, res["all_f1"]))
    table = collections.OrderedDict()
    for name, folds in sets:
        row = {s: pooled_f1(per[name][s]) for s in systems}
        total = bare = 0
        for fold in folds:
            t, b = no_mark_share([p for _, p in fold])
            total, bare = total + t, bare + b
        row["boundaries"] = total
        row["no_mark"] = bare / total if total else 0.0
        table[name] = row
    return table


def timed(cmd, data):
    """CPU seconds (user + system) of one run of cmd with data on stdin,
    output discarded: on a machine shared with other jobs, wall time
    measures the neighbours as much as the program."""
    import resource
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    subprocess.run(cmd, input=data, stdout=subprocess.DEVNULL, check=True)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)


def speed(lang, fullstop, rounds=5, loads=21, size=20_000_000):
    """{model: (load ms, MB/s)} for the language's model and the English one,
    alternating: load = median CPU time of a run on empty input; MB/s =
    median over the CPU time of runs on the language's data/ud running text
    repeated to `size` bytes."""
    import statistics
    text = b"\n".join(running_text([p for _, p in read_set(files)])[0]
                      for _, files in LANGUAGES[lang]["sets"])
    data = text * max(1, size // len(text))
    models = {m: os.path.join(locations.MODELS, m + ".model") for m in (lang, "en")}
    load = {m: [] for m in models}
    rate = {m: [] for m in models}
    for r in range(loads):
        for m in (list(models) if r % 2 == 0 else list(models)[::-1]):
            load[m].append(1000 * timed([fullstop, "-m", models[m]], b""))
    for r in range(rounds):
        for m in (list(models) if r % 2 == 0 else list(models)[::-1]):
            rate[m].append(len(data) / 1e6 / timed([fullstop, "-m", models[m]], data))
    return {m: (statistics.median(load[m]), statistics.median(rate[m]), os.path.getsize(models[m]),
                len(data)) for m in models}


def speed_markdown(results):
    out = ["| language | model | bytes | load ms | × en | MB/s on its text | × en |",
           "|---|---|---:|---:|---:|---:|---:|"]
    for lang, r in results.items():
        en_load, en_rate = r["en"][0], r["en"][1]
        for m in (lang, "en"):
            load, rate, size, _ = r[m]
            out.append("| %s | %s.model | %d | %.1f | %.2f | %.1f | %.2f |" % (
                LANGUAGES[lang]["name"], m, size, load, load / en_load, rate, rate / en_rate))
    return "\n".join(out) + "\n"


def markdown(tables, systems):
    """The table: F1 per set and system, fullstop in bold where it is ahead
    of every other system."""
    head = ["set", "boundaries", "no final mark"] + systems
    out = ["| " + " | ".join(head) + " |", "|---|---:|---:|" + "---:|" * len(systems)]
    for lang, table in tables.items():
        for name, row in table.items():
            others = [row[s][2] for s in systems if s != "fullstop"]
            cells = []
            for s in systems:
                f = "%.4f" % row[s][2]
                ahead = s == "fullstop" and others and row[s][2] > max(others)
                cells.append("**%s**" % f if ahead else f)
            out.append("| %s %s | %d | %.1f %% | %s |" % (
                LANGUAGES[lang]["name"], name, row["boundaries"], 100 * row["no_mark"],
                " | ".join(cells)))
    return "\n".join(out) + "\n"


def main(argv=None):
    ap = argparse.ArgumentParser(prog="languages", description=__doc__.split("\n\n")[0],
                                 formatter_class=argparse.RawDescriptionHelpFormatter,
                                 epilog=__doc__.split("\n\n", 1)[1])
    ap.add_argument("--lang", action="append", choices=list(LANGUAGES))
    ap.add_argument("--folds", type=int, default=5)
    ap.add_argument("--systems", default=",".join(SYSTEMS))
    ap.add_argument("--fullstop", default=os.path.join(locations.BIN, "fullstop"))
    ap.add_argument("--recipe", action="append", default=[], metavar="LANG=FILE",
                    help="the fullstop system's recipe for LANG (default models/settings/LANG)")
    ap.add_argument("--jobs", type=int, default=2, help="folds run at once (default 2)")
    ap.add_argument("--json", metavar="OUT")
    ap.add_argument("--markdown", metavar="OUT")
    ap.add_argument("--keep", metavar="DIR", help="keep each fold's models and files in DIR")
    ap.add_argument("--speed", action="store_true",
                    help="also time each language's model beside the English one (CPU time: "
                         "load on empty input, MB/s on the language's text repeated to 20 MB)")
    ap.add_argument("--show", action="store_true",
                    help="list the first system's false positives and negatives on stderr")
    args = ap.parse_args(argv)
    systems = args.systems.split(",")
    for s in systems:
        if s not in CLASSES:
            ap.error("unknown system %s (known: %s)" % (s, ", ".join(SYSTEMS)))
    if args.folds < 2:
        ap.error("--folds must be at least 2")
    ctx = {"fullstop": os.path.abspath(args.fullstop),
           "recipe": dict(r.split("=", 1) for r in args.recipe), "show": args.show}
    if "icu" in systems:
        ctx["icu"] = peers.build_icu()
    if "sentencex" in systems:
        ctx["node_path"] = peers.npm_modules("sentencex")
    if args.keep:
        os.makedirs(args.keep, exist_ok=True)
    tables = collections.OrderedDict()
    for lang in args.lang or list(LANGUAGES):
        tables[lang] = evaluate(lang, systems, args.folds, ctx, args.keep, args.jobs)
    md = markdown(tables, systems)
    if args.speed:
        timing = collections.OrderedDict(
            (lang, speed(lang, ctx["fullstop"])) for lang in args.lang or list(LANGUAGES))
        md += "\n" + speed_markdown(timing)
    print(md)
    if args.markdown:
        with atomic_open(args.markdown, "w") as f:
            f.write(md)
    if args.json:
        with atomic_open(args.json, "w") as f:
            json.dump({"folds": args.folds, "systems": systems, "tables": tables}, f, indent=1)
    return 0
