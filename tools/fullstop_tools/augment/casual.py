"""Text as people write it on the web and in e-mail: lower-case sentence
starts, emoticons and emoji, runs of marks, shouting, addresses at sentence
ends, hashtags and mentions, and the lines of their own that e-mail has
(greetings, sign-offs, signatures, quoted replies).  Edited prose (Brown)
has none of them, so unseen a lower-case word after a period reads as the
sentence going on, and ':)' as a colon inside one.

These transforms are off unless a recipe gives them a share (their default
share is 0), so recipes that predate them make the same copies."""

import re

from ..paragraphs import LINE_BREAK, hard_wrap
from .base import FINAL, WORD_END, Transform, lower_first
from .pools import DAYS, FIRST_NAMES, SURNAMES, inner_token, pick

# A sentence that begins with a capitalised word (after opening quotes).
CAPITAL_START = re.compile(r"^([\"'(]*)([A-Z])")
# A sentence that ends in a mark inside its closing quote.
QUOTE_END = re.compile(r"[.?!][\"']+$")
PRONOUN_I = re.compile(r"\bI(?=\b|'[a-z])")


class LowerStarts(Transform):
    """chat as people type it: `i will let you know later. what are you
    doing tonight.`  Each sentence of the window starts in lower case (a
    name stays as it is: only common openers and words the text writes in
    lower case elsewhere are lowered), "I" often becomes "i", and now and
    then the whole sentence is lower case.  A sentence after a closing
    quote keeps its start: there a lower-case word is a speech tag that goes
    on with the sentence (`"That is fine." he said`), in web text as in
    fiction, and a copy would teach the opposite."""
    name, share = "lower-starts", 0.0
    help = "sentences starting in lower case (i will ... . what are ...), often all lower case"
    vocabulary = frozenset()  # set by augment() from the input
    PRONOUN = 0.6
    ALL_LOWER = 0.2

    def site(self, para, i):
        return i > 0 and bool(CAPITAL_START.match(para[i])) and not QUOTE_END.search(para[i - 1])

    def apply(self, window, sites, rng):
        if len(window) < 2:
            return None
        pronoun = rng.random() < self.PRONOUN
        out = []
        for k, sent in enumerate(window):
            if k > 0 and QUOTE_END.search(window[k - 1]):
                out.append(sent)
                continue
            if rng.random() < self.ALL_LOWER:
                sent = sent.lower()
            else:
                m = CAPITAL_START.match(sent)
                if m:
                    sent = m.group(1) + lower_first(sent[len(m.group(1)):], self.vocabulary)
                if pronoun:
                    sent = PRONOUN_I.sub("i", sent)
            out.append(sent)
        # A copy whose later sentences all start as they did teaches nothing.
        if not any(CAPITAL_START.match(a) and not CAPITAL_START.match(b)
                   for a, b in zip(window[1:], out[1:])):
            return None
        return out


EMOTICONS = [(":)", 8), (":-)", 3), (";)", 3), (";-)", 1), (":D", 3), (":P", 2), (":(", 2),
             (":-(", 1), (":/", 1), ("XD", 1), ("<3", 1), ("^^", 1), (":'(", 1), ("=)", 1),
             ("\U0001F600", 2), ("\U0001F642", 2), ("\U0001F602", 2), ("\U0001F60A", 1),
             ("\U0001F44D", 2), ("\u2764\ufe0f", 1), ("\U0001F609", 1), ("\U0001F622", 1)]


def lower_next(out, sites, rng, share=0.4):
    """The sentence after each rewritten one starts in lower case now and
    then, as chat runs on after `!!!` or `:)`."""
    for i in sites:
        if i + 1 < len(out) and rng.random() < share:
            m = CAPITAL_START.match(out[i + 1])
            if m:
                out[i + 1] = m.group(1) + lower_first(out[i + 1][len(m.group(1)):])
    return out


class Emoticons(Transform):
    """Emoticons and emoji at sentence ends: after the mark (`fun! :)`),
    instead of it (`see you :)`, `thanks\U0001F642`), or closed up
    (`family:)`).  They belong to the sentence they end."""
    name, share = "emoticons", 0.0
    help = "emoticons and emoji ending a sentence: fun! :)  see you :)  thanks\U0001F642"

    def site(self, para, i):
        return bool(FINAL.search(para[i])) and i + 1 < len(para)

    def apply(self, window, sites, rng):
        return lower_next(Transform.apply(self, window, sites, rng), sites, rng)

    def rewrite(self, sent, rng):
        face = pick(rng, EMOTICONS)
        m = FINAL.search(sent)
        kind = rng.random()
        if kind < 0.4:
            return sent + " " + face
        body = sent[:m.start()] + m.group(2)
        if kind < 0.8:
            return body + " " + face
        return body + face


MARK_RUNS = {"!": [("!!!!", 3), ("!!!!!", 1), ("!!1", 1), ("!!!!!!!", 1), ("!?!", 1)],
             "?": [("?!?!", 3), ("??!!", 2), ("????", 2), ("?!?", 1), ("???!!!", 1)],
             ".": [("..", 4), ("....", 2), (".....", 1), ("!!!", 2), ("!!", 2)]}


class MarkRuns(Transform):
    """Runs of marks as chat writes them: `NEED HELP NOW!?!?`, `good food..`,
    `VERYYY!!!!`.  doubled-marks makes the short runs of edited text."""
    name, share = "mark-runs", 0.0
    help = "long runs of marks ending a sentence: !!!! ?!?! ???? .. ....."

    def site(self, para, i):
        return bool(FINAL.search(para[i]))

    def apply(self, window, sites, rng):
        return lower_next(Transform.apply(self, window, sites, rng), sites, rng)

    def rewrite(self, sent, rng):
        m = FINAL.search(sent)
        if sent[:m.start()][-1:] in ".?!":
            return sent
        return sent[:m.start()] + pick(rng, MARK_RUNS[m.group(1)]) + m.group(2)


# The shapes the glued-sentences reading takes closed up (see
# src/core/tokens/reading_rules.h): a sentence ending in a word of two or
# more letters, lower case but perhaps the first, and one period or a run
# of ? and !, nothing else in its whitespace word; the next opening with a
# capital and lower-case letters (not a domain's ending, "Newsfeed.Com") that no more
# word follows in its whitespace word.
GLUED_END = re.compile(r"(?:^|\s)[A-Za-z][a-z]+(?:\.|[?!]+)$")
GLUED_START = re.compile(r"^(?!(?:Com|Net|Org|Edu|Gov|Info|Biz)\b)[A-Z][a-z]+(?:'[a-z]+)?(?=[,;:!?.\"')]*(?:\s|$))")
# Opening a sentence's line, the sign that no space came before it (a
# zero-width character, which every other reading drops).
WORD_JOINER = "\u2060"


class Glued(Transform):
    """Sentences closed up to the one before, no space after its mark, as
    web text and e-mail write them: `I was late.He left`, `Thanks.See you`,
    `done!Then`.  The copy's line keeps the sentence and opens with a word
    joiner, which the glued-sentences reading takes for the missing space;
    a model trained without it reads the copy as the input."""
    name, share = "glued", 0.0
    help = "no space after a sentence's mark before the next (late.He left, done!Then)"

    def site(self, para, i):
        return i > 0 and bool(GLUED_END.search(para[i - 1])) and bool(GLUED_START.match(para[i]))

    def apply(self, window, sites, rng):
        out = list(window)
        for i in sites:
            if i > 0:
                out[i] = WORD_JOINER + out[i]
        return out


class Shouting(Transform):
    """A sentence in capitals (`I LOVE IT. THE FOOD IS GREAT!`): every word
    capitalised, so capitals no longer tell a sentence's first word."""
    name, share = "shouting", 0.0
    help = "sentences in capitals"

    def site(self, para, i):
        return bool(FINAL.search(para[i]))

    def rewrite(self, sent, rng):
        return sent.upper()


# A word's final mark run (and a closing quote or bracket after it).
SPACED_END = re.compile(r"(\w)([.?!]+[\"')]*)$")
SPACED_COMMA = re.compile(r"(\w),(?= )")


class SpacedMarks(Transform):
    """A space typed before a sentence's mark (`can even survive . That's`,
    `is it true ? I doubt it`), and in half the copies before its commas
    too, as web text has them: edited text never does, and the model read
    `survive . That's` on."""
    name, share = "spaced-marks", 0.0
    help = "a space before a sentence's mark (it was late . We left)"

    def site(self, para, i):
        return bool(SPACED_END.search(para[i]))

    def rewrite(self, sent, rng):
        out = SPACED_END.sub(r"\1 \2", sent)
        return SPACED_COMMA.sub(r"\1 ,", out) if rng.random() < 0.5 else out


ADDRESS_ENDS = ["see {x}", "at {x}", "go to {x}", "more at {x}", "details: {x}", "from {x}",
                "via {x}", "it is {x}", "email me at {x}", "see {x} for more"]


COUNT_WORDS = dict(zip("Two Three Four Five Six Seven Eight Nine Ten Eleven Twelve Thirteen Fourteen "
                       "Fifteen Sixteen Seventeen Eighteen Nineteen".split(), range(2, 20)))
COUNT_WORDS.update(zip("Twenty Thirty Forty Fifty Sixty Seventy Eighty Ninety".split(), range(20, 100, 10)))
UNITS = dict({w.lower(): n for w, n in COUNT_WORDS.items() if n < 10}, one=1)
# A sentence opening with a count in words ("Two of them", "Twenty-five
# years ago"), after the sentence before it in the paragraph.
COUNT_START = re.compile(r"^(%s)(?:-(%s))?\b" % ("|".join(COUNT_WORDS), "|".join(UNITS)))
# Or with a count in digits after a word of measure ("About 75 persons").
ABOUT_COUNT = re.compile(r"^(?:About|Some|Nearly|Almost|Over|Only|Roughly|Approximately) (?=\d)")
# Or with a determiner before a lower-case noun ("Many people came", "The
# war was over"), for which a count or a year stands ("25 people came",
# "1946 war was over"): the only openings common enough to teach that a
# number after an ordinary word's period starts a sentence.  The shape is
# what the model reads, not the sense.
DETERMINER_START = re.compile(r"^(?:The|These|Those|Some|Many|Several|Most|All|Both|Few|Its|Their|Our) (?=[a-z])")
COUNTABLE_STARTS = (COUNT_START, ABOUT_COUNT, DETERMINER_START)


def count_or_year(rng):
    """A count as reports write it (mostly small), or a year."""
    kind = rng.random()
    if kind < 0.6:
        return str(rng.randint(2, 99))
    if kind < 0.75:
        return str(rng.randint(100, 999))
    return str(rng.randint(1900, 2030))


class NumberStarts(Transform):
    """A sentence opening with its count or its year in digits (`sold the
    house. 25 people came`, `scored twice. 3 goals`, `in 2019. 2020 was
    worse`), as web text, reports and reviews write it: edited prose spells
    such a count out or puts a word before it (`Two of them`, `About 75
    persons`), and unseen a number after a sentence's period read as the
    sentence going on (as after `No.` or `Oct.`)."""
    name, share = "number-starts", 0.0
    help = "a sentence opening with a count or a year in digits: the house. 25 people came"

    def site(self, para, i):
        return i > 0 and bool(FINAL.search(para[i - 1])) and any(p.match(para[i]) for p in COUNTABLE_STARTS)

    def apply(self, window, sites, rng):
        # Only after a sentence of the copy: a count opening the copy's
        # first line follows no mark there.
        out = list(window)
        for i in sites:
            if i > 0:
                out[i] = self.rewrite(out[i], rng)
        return out

    def rewrite(self, sent, rng):
        m = COUNT_START.match(sent)
        if m:
            n = COUNT_WORDS[m.group(1)] + (UNITS[m.group(2)] if m.group(2) else 0)
            return str(n) + sent[m.end():]
        if ABOUT_COUNT.match(sent):
            return ABOUT_COUNT.sub("", sent, count=1)
        return DETERMINER_START.sub(count_or_year(rng) + " ", sent, count=1)


class AddressEnds(Transform):
    """A URL, address, file name or version ending a sentence, with its
    final period or without one (`see example.com/a.b. Then`, `email me
    at ann@x.org Thanks`): the periods inside the address end nothing, the
    one after it (or the capital after it) does."""
    name, share = "address-ends", 0.0
    help = "a URL, address, file name or version ending a sentence, with or without a period"
    phrases = []  # set by augment() from the input

    def site(self, para, i):
        return bool(WORD_END.search(para[i])) and i + 1 < len(para)

    def rewrite(self, sent, rng):
        tail = rng.choice(ADDRESS_ENDS).format(x=inner_token(rng, self.phrases))
        mark = pick(rng, [(".", 6), ("", 3), ("!", 1)])
        return sent[:-1] + ", " + tail + mark


HASHTAGS = ["#tbt", "#love", "#fail", "#winning", "#news", "#travel", "#food", "#help",
            "#2024", "#nofilter", "#mondays", "#gameday"]


class Tags(Transform):
    """Hashtags and @-mentions: a mention opening a sentence (`@ann thanks
    for the link.`), one inside it, hashtags after its mark (`Loved it!
    #travel #food`), which belong to the sentence they follow."""
    name, share = "tags", 0.0
    help = "@-mentions and hashtags: @ann thanks ... / Loved it! #travel"

    def site(self, para, i):
        return bool(FINAL.search(para[i]))

    def rewrite(self, sent, rng):
        kind = rng.random()
        if kind < 0.35:
            who = "@" + rng.choice(FIRST_NAMES + SURNAMES).lower() + rng.choice(["", "_", "2"])
            return who + " " + lower_first(sent)
        tags = " ".join(rng.sample(HASHTAGS, rng.randint(1, 3)))
        if kind < 0.5:
            words = sent.split(" ")
            k = rng.randint(1, max(1, len(words) - 1))
            return " ".join(words[:k] + [tags.split(" ")[0]] + words[k:])
        return sent + " " + tags


GREETINGS = ["Hi {first},", "Hello {first},", "Dear {first},", "Hi all,", "Hey {first},",
             "Dear Mr. {last},", "Dear Ms. {last},", "Good morning {first},", "Hi,", "{first},",
             "Hi {first}!", "Hello everyone,", "Team,"]
SIGN_OFFS = ["Thanks,", "Thanks!", "Thank you,", "Best regards,", "Best,", "Regards,",
             "Cheers,", "Sincerely,", "Kind regards,", "Talk soon,", "Love,", "Take care,",
             "Thanks again,", "All the best,"]
TITLES = ["Sales Manager", "Project Lead", "Senior Analyst", "Office Manager", "Director, Operations",
          "Customer Support", "VP Marketing", "Research Assistant"]
COMPANY_LINES = ["Acme Corp.", "Dixon Steel Inc.", "Union Mills Ltd.", "Harlow Bros. & Co.",
                 "Pioneer Press", "Midland Oil Co.", "Crane Supply LLC"]


def signature(rng):
    """A signature block: a name, then fields on lines of their own."""
    first, last = rng.choice(FIRST_NAMES), rng.choice(SURNAMES)
    lines = [rng.choice(["%s %s" % (first, last), first, "%s %s." % (first, last[0]),
                         "-- %s" % first])]
    fields = [rng.choice(TITLES), rng.choice(COMPANY_LINES),
              "Phone: (%03d) %03d-%04d" % (rng.randint(200, 999), rng.randint(200, 999),
                                           rng.randint(0, 9999)),
              "%s.%s@%s.com" % (first.lower(), last.lower(), rng.choice(["acme", "mail", "union"])),
              "www.%s.com" % last.lower(), "Tel. %d %d %d" % (rng.randint(10, 99),
                                                            rng.randint(100, 999),
                                                            rng.randint(1000, 9999))]
    rng.shuffle(fields)
    return lines + fields[:rng.randint(0, 3)]


class Letter(Transform):
    """A window set as an e-mail: a greeting on a line of its own, the text,
    a sign-off and a signature (a name and fields, each on a line of its own,
    none of them with a final mark).  Each of those lines is a unit of its
    own, which only the line breaks tell."""
    name, share = "letter", 0.0
    help = "greeting and sign-off lines and a signature around the text (Hi Anna, / Thanks, / Tom)"
    # The part of the sign-offs written on one line with the name, as one
    # sentence ("Thanks, Tom"), as the web treebank's e-mail writes them; the
    # rest have the name on the next line, a unit of its own.  The comma is
    # read with its line break only there, but its own window's names are in
    # both, and the copies cost the web dev set its one-line sign-offs
    # ("Sincerely, Traci" split after the comma).  Three in four against half
    # and half left that cost as it was (0.9415 against 0.9418); the recipe
    # halved the transform's share instead.
    ONE_LINE = 0.75

    def sites(self, para):
        return [0]

    def apply(self, window, sites, rng):
        first, last = rng.choice(FIRST_NAMES), rng.choice(SURNAMES)
        out = []
        if rng.random() < 0.8:
            out.append(rng.choice(GREETINGS).format(first=first, last=last) + LINE_BREAK)
        body = list(window)
        if rng.random() < 0.3:
            body = hard_wrap(body, rng.randint(50, 76))
        out += body
        if not out[-1].endswith(LINE_BREAK):
            out[-1] += LINE_BREAK
        sign = signature(rng)
        if rng.random() < 0.8:
            off = rng.choice(SIGN_OFFS)
            if rng.random() < self.ONE_LINE:
                # "Thanks, Tom" on one line: one sentence.
                out.append(off + " " + sign[0] + (LINE_BREAK if len(sign) > 1 else ""))
            else:
                out.append(off + LINE_BREAK)
                out.append(sign[0] + (LINE_BREAK if len(sign) > 1 else ""))
        else:
            out.append(sign[0] + (LINE_BREAK if len(sign) > 1 else ""))
        for k, field in enumerate(sign[1:]):
            out.append(field + (LINE_BREAK if k + 2 < len(sign) else ""))
        return out


ATTRIBUTIONS = ["On {day}, {first} wrote:", "{first} {last} wrote:", "On {day} {first} {last} wrote:",
                "Quoting {first}:", "{first} wrote:"]


class QuotedReply(Transform):
    """A reply quoting the message it answers, each quoted line opened by
    `> ` (hard-wrapped, so a quoted sentence runs across `>` lines), then
    the answer; or the answer first and the quote after it."""
    name, share = "quoted-reply", 0.0
    help = "quoted lines of an e-mail reply (> ...) before or after the answer"

    def sites(self, para):
        return [0] if len(para) >= 2 else []

    def apply(self, window, sites, rng):
        if len(window) < 2:
            return None
        cut = rng.randint(1, len(window) - 1)
        quoted, answer = window[:cut], window[cut:]
        mark = pick(rng, [("> ", 6), (">", 1), (">> ", 1)])
        lines, starts_line = [], True
        for sent in hard_wrap(quoted, rng.randint(40, 72)):
            ends = sent.endswith(LINE_BREAK)
            body = (sent[:-1] if ends else sent).replace(LINE_BREAK, LINE_BREAK + mark)
            lines.append((mark if starts_line else "") + body + (LINE_BREAK if ends else ""))
            starts_line = ends
        answer = list(answer)
        if rng.random() < 0.7:
            if not lines[-1].endswith(LINE_BREAK):
                lines[-1] += LINE_BREAK
            if rng.random() < 0.4:
                # "On Monday, Anna wrote:" on a line of its own above the quote.
                lines.insert(0, rng.choice(ATTRIBUTIONS).format(
                    day=rng.choice(DAYS), first=rng.choice(FIRST_NAMES),
                    last=rng.choice(SURNAMES)) + LINE_BREAK)
            return lines + answer
        if not answer[-1].endswith(LINE_BREAK):
            answer[-1] += LINE_BREAK
        lines[-1] = lines[-1].rstrip(LINE_BREAK)
        return answer + lines
