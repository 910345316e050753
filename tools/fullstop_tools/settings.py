"""A model's recipe: the settings scripts/make-model builds it with and
fullstop-adapt retrains it with, one file per model (models/settings/NAME,
installed as share/fullstop/settings/NAME).

A recipe is lines of a keyword and its words (split as a shell splits them);
'#' starts a comment, where the measurements that chose each setting are
written down beside it:

  train SET [reader] [weight=N] [augment=no]
      sentence-per-line training text, SET.lines under data/ (brown/train,
      ud/en_ewt-train); `reader` converts Brown's sentence ends at ';' and
      ':' to the reader's convention (fullstop_tools.convention); the text
      goes in N times (default 1); augment=no keeps it out of the augmented
      copies (it is added after them).  Repeatable, in order.
  augment [OPTION...]
      scripts/augment-brown options (none given: its defaults) for the
      augmented copies of the train sets; without an augment line, or with
      `augment none`, the sets are used as they are.
  abbreviations FILE [uses=N]
      an abbreviation list (fullstop-adapt's format, FILE relative to the
      recipe's folder) whose entries are written into the train sets'
      sentences, N uses of each kind (default 30), drawn anew for each seed;
      in the language of the augment line's --lang.  Repeatable.
  fit OPTION...
      scripts/train-model options (text mode and fullstop-train settings).
  seeds N...
      one fit per seed, each on copies drawn with --seed N; the model is
      their mean (scripts/average-models).  fullstop-adapt fits once, with
      the first.
  prune W
      leave out of the mean the weights smaller than W in absolute value
      (scripts/average-models --min-weight): most of what a mean of several
      fits adds to one fit are names one fit kept and the others did not.
  score SET [merge=MARKS]
      a dev set whose figures make-model prints (with restyled copies
      SET-STYLE where they exist; merge=';:' adds the figures with gold
      sentences ending at those marks joined to the next).  Repeatable.
  test SET [merge=MARKS]
      the same for a test set, printed only with --test.
  edge FILE
      an edge-case suite (relative to the checkout) to run the model on.
"""

import hashlib
import os
import shlex

from . import locations

KEYWORDS = ("train", "augment", "abbreviations", "fit", "seeds", "prune", "score", "test", "edge")


class RecipeError(Exception):
    pass


class Source:
    def __init__(self, name, reader=False, weight=1, augment=True):
        self.name, self.reader, self.weight, self.augment = name, reader, weight, augment

    def key(self):
        return "%s reader=%s weight=%d augment=%s" % (self.name, self.reader, self.weight,
                                                      self.augment)


class Recipe:
    def __init__(self, name, path):
        self.name, self.path = name, path
        self.sources, self.augment, self.fit, self.seeds = [], None, [], []
        self.min_weight = None
        self.scores, self.tests, self.edges = [], [], []
        self.abbreviations = []  # (path, uses)

    def training_key(self, seed):
        """What one fit's training text is made from, as a string."""
        augment = "none" if self.augment is None else shlex.join(self.augment)
        lists = []
        for path, uses in self.abbreviations:
            with open(path, "rb") as f:
                lists.append("abbreviations %s uses=%d" % (hashlib.sha256(f.read()).hexdigest(), uses))
        return "\n".join([s.key() for s in self.sources] + ["augment " + augment] + lists
                         + ["seed %d" % seed])


def path_of(name):
    """models/settings/NAME, or NAME itself when it names a file."""
    if os.sep in name or os.path.isfile(name):
        return name
    return os.path.join(locations.SETTINGS, name)


def _options(words, where, known):
    out = {}
    for w in words:
        key, eq, value = w.partition("=")
        if key not in known or bool(eq) != (known[key] is not None):
            raise RecipeError("%s: unknown option %r" % (where, w))
        out[key] = value if eq else True
    return out


def load(name):
    """The recipe of the model NAME (or of the recipe file NAME)."""
    path = path_of(name)
    try:
        with open(path, encoding="utf-8") as f:
            lines = f.read().splitlines()
    except OSError as e:
        raise RecipeError("%s: cannot read the recipe: %s" % (path, e.strerror or e))
    recipe = Recipe(os.path.basename(path), path)
    for number, line in enumerate(lines, 1):
        where = "%s:%d" % (path, number)
        try:
            words = shlex.split(line, comments=True)
        except ValueError as e:
            raise RecipeError("%s: %s" % (where, e))
        if not words:
            continue
        key, args = words[0], words[1:]
        if key not in KEYWORDS:
            raise RecipeError("%s: unknown keyword %r (known: %s)" % (where, key, ", ".join(KEYWORDS)))
        if key == "train":
            if not args:
                raise RecipeError("%s: train needs a set" % where)
            o = _options(args[1:], where, {"reader": None, "weight": "", "augment": ""})
            weight = o.get("weight", "1")
            if not weight.isdigit() or int(weight) < 1 or o.get("augment", "yes") not in ("yes", "no"):
                raise RecipeError("%s: weight=N takes a whole number of at least 1, augment= yes or no"
                                  % where)
            recipe.sources.append(Source(args[0], "reader" in o, int(weight),
                                         o.get("augment", "yes") == "yes"))
        elif key == "augment":
            recipe.augment = None if args == ["none"] else args
        elif key == "abbreviations":
            if not args:
                raise RecipeError("%s: abbreviations needs a file" % where)
            o = _options(args[1:], where, {"uses": ""})
            uses = o.get("uses", "30")
            if not uses.isdigit() or int(uses) < 1:
                raise RecipeError("%s: uses=N takes a whole number of at least 1" % where)
            list_path = os.path.join(os.path.dirname(os.path.abspath(path)), args[0])
            if not os.path.isfile(list_path):
                raise RecipeError("%s: no abbreviation list %s" % (where, list_path))
            recipe.abbreviations.append((list_path, int(uses)))
        elif key == "fit":
            recipe.fit = args
        elif key == "seeds":
            if not args or not all(a.isdigit() for a in args):
                raise RecipeError("%s: seeds takes whole numbers" % where)
            recipe.seeds = [int(a) for a in args]
        elif key == "prune":
            try:
                recipe.min_weight = float(args[0]) if len(args) == 1 else None
            except ValueError:
                pass
            if recipe.min_weight is None or not 0 <= recipe.min_weight < float("inf"):
                raise RecipeError("%s: prune takes one number of at least 0" % where)
        elif key in ("score", "test"):
            if not args:
                raise RecipeError("%s: %s needs a set" % (where, key))
            o = _options(args[1:], where, {"merge": ""})
            (recipe.scores if key == "score" else recipe.tests).append((args[0], o.get("merge", "")))
        else:
            if len(args) != 1:
                raise RecipeError("%s: edge takes one file" % where)
            recipe.edges.append(args[0])
    if not recipe.sources or not recipe.fit or not recipe.seeds:
        raise RecipeError("%s: a recipe needs train, fit and seeds lines" % path)
    return recipe
