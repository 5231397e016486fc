// Opens a report.html in headless Chromium (the system's browser, driven by
// puppeteer-core) with the network cut off and holds what the page plots
// against the tables it was drawn from: those in the page's folder, or for a
// page of several runs those of each run's folder, given in the page's order
// (each value against the tables of the run it comes from):
//   - the fans against yearly.csv's fractiles (and the thin lines against
//     sample_iterations.csv), the yearly risk against p_below_blim in %;
//   - the trade-offs against summary.csv for every window and risk offered;
//   - the per-recruit curves and points against perrecruit.csv and
//     refpoints.csv, the rule shape against ruleshape.csv;
//   - the reference lines (risk limit, Blim, trigger, Target) drawn as marks
//     with items at their values;
// for every option set up to 20, then for a sample of 20 (of every run
// together). A page of several runs also names each set's run in the
// trade-offs and in the table's run column. In every chart
// each drawn item lies inside the plotting area (the axes cover the data), a
// probability axis ends at or below 100 %, and no two labels overlap. Also:
// no console error, no request leaves the page, the page fits 1280 pixels
// wide. Keeps a screenshot.
//   node check_report.cjs NODE_MODULES REPORT.html SCREENSHOT.png [--timing] [--pdf] [RUN_DIR...]
// Exit status 0 when every check passes, 1 otherwise.
'use strict';
const path = require('path');
const fs = require('fs');
const os = require('os');

const [nodeModules, reportFile, screenshot, ...rest] = process.argv.slice(2);
if (!nodeModules || !reportFile || !screenshot) {
  console.error('usage: node check_report.cjs NODE_MODULES REPORT.html SCREENSHOT.png [--timing] [--pdf] [RUN_DIR...]');
  process.exit(2);
}
const flags = rest.filter((a) => a.startsWith('--'));
const runDirs = rest.filter((a) => !a.startsWith('--')).map((d) => path.resolve(d));
if (!runDirs.length) runDirs.push(path.dirname(path.resolve(reportFile)));
const puppeteer = require(path.join(path.resolve(nodeModules), 'puppeteer-core'));
const browserPath = process.env.TACSIM_CHROMIUM || '/usr/bin/chromium';

const failures = [];
const check = (ok, what) => {
  console.log((ok ? 'ok   ' : 'FAIL ') + what);
  if (!ok) failures.push(what);
};
// Many comparisons, one line each kind: the first few mismatches are shown.
function tally(what) {
  const bad = [];
  let n = 0;
  return {
    same(got, want, where) {
      n += 1;
      const eq = (got === want) || (got === null && want === undefined) ||
        (typeof got === 'number' && typeof want === 'number' && Number.isNaN(got) && Number.isNaN(want));
      if (!eq) bad.push(`${where}: page ${JSON.stringify(got)}, table ${JSON.stringify(want)}`);
    },
    fail(msg) { n += 1; bad.push(msg); },
    done() { check(bad.length === 0 && n > 0, `${what} (${n} values${bad.length ? ', ' + bad.length + ' differ: ' + bad.slice(0, 4).join('; ') : ''})`); },
  };
}

// ---- the tables ----------------------------------------------------------
function readCsv(dir, name) {
  const file = path.join(dir, name);
  if (!fs.existsSync(file)) return null;
  const text = fs.readFileSync(file, 'utf8');
  const rows = [];
  let row = [], field = '', quoted = false;
  for (let i = 0; i < text.length; i += 1) {
    const c = text[i];
    if (quoted) {
      if (c === '"' && text[i + 1] === '"') { field += '"'; i += 1; } else if (c === '"') quoted = false; else field += c;
    } else if (c === '"') quoted = true;
    else if (c === ',') { row.push(field); field = ''; }
    else if (c === '\n') { row.push(field); rows.push(row); row = []; field = ''; }
    else if (c !== '\r') field += c;
  }
  if (field !== '' || row.length) { row.push(field); rows.push(row); }
  const header = rows.shift();
  return rows.map((r) => Object.fromEntries(header.map((h, k) => [h, r[k]])));
}
// A table's number as the page should carry it: the same double.
const num = (s) => (s === undefined || s === '') ? undefined : Number(s === 'Inf' ? 'Infinity' : s === '-Inf' ? '-Infinity' : s);

const groupBy = (rows, key) => {
  const m = new Map();
  for (const r of rows || []) {
    const k = key(r);
    if (!m.has(k)) m.set(k, []);
    m.get(k).push(r);
  }
  return m;
};

// The tables of one run, and what the checks look up in them.
function readRun(dir) {
  const R = { dir };
  for (const [key, name] of [['sets', 'sets.csv'], ['yearly', 'yearly.csv'], ['summary', 'summary.csv'],
    ['samples', 'sample_iterations.csv'], ['perrecruit', 'perrecruit.csv'], ['refpoints', 'refpoints.csv'],
    ['ruleshape', 'ruleshape.csv'], ['tune', 'tune.csv']]) R[key] = readCsv(dir, name);
  R.run = fs.existsSync(path.join(dir, 'run.json')) ? JSON.parse(fs.readFileSync(path.join(dir, 'run.json'), 'utf8')) : {};
  R.riskLimit = R.run.risk_limit !== undefined ? R.run.risk_limit : 5;
  R.yearlyBy = groupBy(R.yearly, (r) => r.set + '|' + r.quantity);
  R.samplesBy = groupBy(R.samples, (r) => r.set);
  R.shapeBy = groupBy(R.ruleshape, (r) => r.set);
  R.summaryBy = new Map((R.summary || []).map((r) => [[r.set, r.first_year, r.last_year, r.statistic].join('|'), r.value]));
  // The windows in the order of their first appearance in summary.csv, as offered.
  R.windowOf = [...new Map((R.summary || []).map((r) => [r.first_year + '-' + r.last_year,
    { first: r.first_year, last: r.last_year }])).values()];
  return R;
}
const runs = runDirs.map(readRun);
const several = runs.length > 1;
// Every set of the page, one run after the other: its place on the page.
const allSets = runs.flatMap((R, r) => R.sets.map((row) => ({ R, r, row })));
const riskLimit = runs[0].riskLimit;

// ---- what a view plots -----------------------------------------------------
// Runs in the page: every chart's drawn items (with their data), the extent
// of the plotting area, the domains of the position scales and the boxes of
// every visible text, in page coordinates of the chart.
function describeViews() {
  const out = {};
  for (const [id, view] of Object.entries(window.tacsimViews)) {
    const marks = [], texts = [], labels = [];
    // gw, gh: the size of the enclosing group (a cell of a faceted chart).
    const walk = (node, ox, oy, inAxis, gw, gh) => {
      if (!node) return;
      const isMark = node.marktype !== undefined && node.items !== undefined;
      if (isMark) {
        const role = node.role || '';
        const guide = inAxis || /axis|legend|title/.test(role);
        if (!guide && node.marktype !== 'group') {
          marks.push({
            name: node.name || '', type: node.marktype, role: role, gw: gw, gh: gh,
            items: node.items.map((it) => ({
              x: it.x, y: it.y, x2: it.x2, y2: it.y2, ox: ox, oy: oy,
              datum: it.datum ? JSON.parse(JSON.stringify(it.datum, (k, v) => (k.startsWith('Symbol') ? undefined : v))) : null,
            })),
          });
        }
        for (const it of node.items) {
          // Text marks of the data (labels, not axes or legends), in the
          // coordinates of their plotting area.
          if (node.marktype === 'text' && !guide && it.text && it.bounds && !it.bounds.empty() &&
              (it.opacity === undefined || it.opacity > 0)) {
            labels.push({ text: String(it.text), x1: it.bounds.x1, y1: it.bounds.y1, x2: it.bounds.x2, y2: it.bounds.y2,
                          w: gw !== undefined ? gw : view.width(), h: gh !== undefined ? gh : view.height() });
          }
          if (node.marktype === 'text' && it.text !== undefined && it.text !== '' && (it.opacity === undefined || it.opacity > 0) &&
              (it.fillOpacity === undefined || it.fillOpacity > 0) && it.bounds && !it.bounds.empty()) {
            texts.push({ text: String(it.text), x1: ox + it.bounds.x1, y1: oy + it.bounds.y1, x2: ox + it.bounds.x2, y2: oy + it.bounds.y2 });
          }
          if (node.marktype === 'group') {
            const cell = /cell/.test(node.name || '') && it.width > 0;
            (it.items || []).forEach((m) => walk(m, ox + (it.x || 0), oy + (it.y || 0), guide || /axis|legend|title/.test(node.role || ''),
              cell ? it.width : gw, cell ? it.height : gh));
          }
        }
      }
    };
    const root = view.scenegraph().root;
    walk(root, 0, 0, false);
    const domain = (name) => { try { return view.scale(name) ? view.scale(name).domain() : null; } catch (e) { return null; } };
    const data = {};
    for (const name of ['fan', 'iters', 'extra', 'refs', 'prob', 'shape', 'sets', 'curve', 'points', 'limit', 'tune']) {
      try { data[name] = view.data(name); } catch (e) { /* not in this chart */ }
    }
    out[id] = {
      width: view.width(), height: view.height(),
      origin: root.items[0] ? [root.items[0].x || 0, root.items[0].y || 0] : [0, 0],
      x: domain('x'), y: domain('y'), marks, texts, labels, data,
    };
  }
  return out;
}

// Every drawn item of the data marks lies in the plotting area (one pixel of
// slack), so the axes cover what is drawn.
function checkInside(id, v, t) {
  const slack = 1.01;
  for (const m of v.marks) {
    t.same(true, true, id);
    const W = m.gw !== undefined ? m.gw : v.width, H = m.gh !== undefined ? m.gh : v.height;
    for (const it of m.items) {
      for (const [k, lim] of [['x', W], ['x2', W], ['y', H], ['y2', H]]) {
        const c = it[k];
        if (c === undefined || c === null || Number.isNaN(c)) continue;
        if (c < -slack || c > lim + slack) {
          t.fail(`${id} ${m.name || m.type}: ${k} = ${c.toFixed(1)} outside 0..${lim} (${JSON.stringify(it.datum).slice(0, 80)})`);
          break;
        }
      }
    }
  }
}

function checkLabels(id, v, t) {
  const boxes = v.texts;
  for (let i = 0; i < boxes.length; i += 1) {
    for (let j = i + 1; j < boxes.length; j += 1) {
      const a = boxes[i], b = boxes[j];
      if (a.x1 < b.x2 - 0.5 && b.x1 < a.x2 - 0.5 && a.y1 < b.y2 - 0.5 && b.y1 < a.y2 - 0.5) {
        t.fail(`${id}: labels "${a.text}" and "${b.text}" overlap`);
      }
    }
  }
  t.same(true, true, id);
}

// The data of the drawn rules whose label starts with `label`.
const rulesLabelled = (v, label) => v.marks.filter((m) => m.type === 'rule')
  .flatMap((m) => m.items.map((it) => it.datum)).filter((d) => d && String(d.label).startsWith(label));

function checkFan(R, id, q, setId, v, t) {
  const rows = R.yearlyBy.get(setId + '|' + q) || [];
  const fan = v.data.fan || [];
  if (fan.length !== rows.length) t.fail(`${id} set ${setId}: ${fan.length} years plotted, ${rows.length} in yearly.csv`);
  const byYear = new Map(fan.map((r) => [String(r.year), r]));
  for (const r of rows) {
    const p = byYear.get(r.year);
    if (!p) { t.fail(`${id} set ${setId} year ${r.year} not plotted`); continue; }
    for (const k of ['p10', 'p25', 'p50', 'p75', 'p90']) t.same(p[k], num(r[k]), `${id} set ${setId} ${r.year} ${k}`);
  }
}

function checkIterations(R, id, q, setId, v, t) {
  if (!R.samples) return;
  const want = (R.samplesBy.get(setId) || []).filter((r) => r[q] !== undefined);
  const got = new Map((v.data.iters || []).map((r) => [r.iteration + '|' + r.year, r.value]));
  if (got.size !== want.length) t.fail(`${id} set ${setId}: ${got.size} iteration points, ${want.length} in sample_iterations.csv`);
  for (const r of want) t.same(got.get(r.iteration + '|' + r.year), num(r[q]), `${id} set ${setId} iteration ${r.iteration} ${r.year}`);
}

function checkRef(id, v, label, want, t, where) {
  const drawn = rulesLabelled(v, label);
  if (!drawn.length) t.fail(`${where}: no ${label} line drawn`);
  // run.json holds Blim as a double of the float; the page its shortest text.
  for (const d of drawn) t.same(Math.fround(d.value), Math.fround(want), `${where} ${label}`);
}

// ---- the run ---------------------------------------------------------------
(async () => {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'tacsim-chromium-'));
  const browser = await puppeteer.launch({
    executablePath: browserPath,
    headless: true,
    userDataDir: profile,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync',
           '--disable-dev-shm-usage'],
  });
  try {
    const page = await browser.newPage();
    await page.setViewport({ width: 1280, height: 900 });
    const errors = [];
    let blocked = 0, failed = 0;
    page.on('console', (msg) => { if (msg.type() === 'error') errors.push(msg.text()); });
    page.on('pageerror', (err) => errors.push(String(err)));
    page.on('requestfailed', () => { failed += 1; });
    await page.setRequestInterception(true);
    page.on('request', (req) => {
      const url = req.url();
      if (url.startsWith('file:') || url.startsWith('data:') || url.startsWith('blob:') || url === 'about:blank') {
        req.continue();
      } else {
        blocked += 1;
        req.abort('internetdisconnected');
      }
    });

    const url = 'file://' + path.resolve(reportFile);
    const t0 = Date.now();
    await page.goto(url, { waitUntil: 'load', timeout: 120000 });
    await page.waitForFunction(() => window.tacsimReady === true, { timeout: 120000, polling: 50 });
    const allCharts = Date.now() - t0;
    // When the first chart was in the page, from the start of the navigation.
    const firstChart = Math.round(await page.evaluate(() => window.tacsimFirstChart));
    // The page counts its drawings in progress; a page without the count gets time.
    const idle = async () => {
      const counted = await page.evaluate(() => window.tacsimPending !== undefined);
      if (counted) await page.waitForFunction(() => window.tacsimPending === 0, { timeout: 30000, polling: 20 });
      else await new Promise((resolve) => setTimeout(resolve, 500));
    };

    const chartIds = await page.evaluate(() => Array.from(document.querySelectorAll('.chart')).map((e) => e.id.slice(6)));
    const inside = tally('every drawn item lies inside its plotting area');
    const labels = tally('no two labels overlap');
    const probAxis = tally('probability axes run from 0 to at most 100 %');
    const looked = (views, what) => {
      for (const [id, v] of Object.entries(views)) {
        checkInside(id + ' (' + what + ')', v, inside);
        checkLabels(id + ' (' + what + ')', v, labels);
      }
      const prob = [['plim', 'y'], ['tradeoff', 'x']];
      for (const [id, axis] of prob) {
        if (!views[id]) continue;
        const d = views[id][axis];
        if (!d) { probAxis.fail(`${id}: no ${axis} scale`); continue; }
        probAxis.same(d[0] >= 0 && d[1] <= 100, true, `${id} (${what}) ${axis} domain ${JSON.stringify(d)}`);
      }
    };

    let views = await page.evaluate(describeViews);
    for (const id of chartIds) {
      const n = views[id] ? views[id].marks.reduce((s, m) => s + m.items.length, 0) : 0;
      check(n > 0, `chart ${id} has drawn marks (${n})`);
    }

    // The answer at the top, for the window and risk the page opens on,
    // recomputed from summary.csv: per run the set with the highest median
    // catch among those that meet the risk limit (none where none does), and
    // the best of all on a page of several. The page opens on the window of
    // the tuning where there is one, else on all years.
    {
      const t = tally('the answer at the top equals the one recomputed from summary.csv, on the tuning\'s window or all years');
      const state = await page.evaluate(() => ({
        windowIx: Number(document.querySelector('#window-select').value),
        risk: (document.querySelector('#risk-select option:checked') || {}).textContent,
        lines: Array.from(document.querySelectorAll('#answer-lines li')).map((li) => ({ run: li.dataset.run, set: li.dataset.set })),
      }));
      const R0 = runs[0];
      const tuned = R0.tune && R0.tune.length ? R0.tune[0].statistic.split('_')[0] : 'all';
      const span = (w) => Number(w.last) - Number(w.first);
      const wins = R0.windowOf;
      const lo = Math.min(...wins.map((w) => Number(w.first))), hi = Math.max(...wins.map((w) => Number(w.last)));
      const want = wins.findIndex((w) => tuned === 'first5' ? (Number(w.first) === lo && span(w) === 4)
        : tuned === 'summary' ? !(Number(w.first) === lo && (span(w) === 4 || Number(w.last) === hi))
          : (Number(w.first) === lo && Number(w.last) === hi));
      t.same(state.windowIx, want, `window the page opens on (tuned over ${tuned})`);
      const bestOf = (sets) => {
        let best = null;
        for (const S of sets) {
          const win = S.R.windowOf[state.windowIx];
          if (!win) continue;
          const get = (stat) => num(S.R.summaryBy.get([S.row.set, win.first, win.last, stat].join('|')));
          const risk = get(state.risk), c = get('C50');
          if (risk === undefined || risk > riskLimit || c === undefined) continue;
          if (best === null || c > best.c) best = { S, c };
        }
        return best ? best.S : null;
      };
      const expected = runs.map((R, r) => ({ run: String(r), S: bestOf(allSets.filter((S) => S.r === r)) }));
      if (several) expected.push({ run: 'all', S: bestOf(allSets) });
      t.same(state.lines.length, expected.length, 'answer lines');
      for (const e of expected) {
        const line = state.lines.find((l) => l.run === e.run);
        if (!line) { t.fail(`no answer line for run ${e.run}`); continue; }
        t.same(line.set, e.S ? e.S.row.set : '', `best set of run ${e.run}`);
        if (e.run === 'all' && e.S) t.same(state.lines[e.S.r].set, e.S.row.set, 'the best of all is its run\'s best');
      }
      t.done();
    }

    // The captions' numbers are the run's: each decimal number in a caption
    // is a risk limit or a value of the run's record (run.json) or tables.
    {
      const t = tally('the captions\' numbers are the run\'s');
      const captions = await page.evaluate(() => Array.from(document.querySelectorAll('figcaption')).map((f) => f.textContent));
      const known = new Set();
      for (const R of runs) {
        known.add(String(R.riskLimit));
        for (const [k, v] of Object.entries(R.run)) if (typeof v === 'number') known.add(String(v));
        for (const row of R.tune || []) known.add(row.limit);
      }
      for (const text of captions) {
        for (const n of text.replace(/section \d+(\.\d+)*/g, '').match(/(?<![\w.])\d+\.\d+/g) || []) {
          t.same(known.has(n) || known.has(String(Number(n))), true, `"${n}" in "${text.slice(0, 60)}..."`);
        }
      }
      t.same(captions.length > 0, true, 'captions');
      t.done();
    }

    // The per-recruit charts and the tuning (a page of one run) against
    // perrecruit.csv, refpoints.csv and tune.csv.
    const { perrecruit, refpoints, tune } = runs[0];
    if (perrecruit && views.ypr) {
      const t = tally('per-recruit curves and points equal perrecruit.csv and refpoints.csv');
      for (const [id, col] of [['ypr', 'yield_per_recruit'], ['spr', 'ssb_per_recruit']]) {
        const curve = views[id].data.curve || [];
        if (curve.length !== perrecruit.length) t.fail(`${id}: ${curve.length} points plotted, ${perrecruit.length} in perrecruit.csv`);
        perrecruit.forEach((r, k) => {
          const c = curve[k] || {};
          t.same(String(c.regime), r.regime, `${id} row ${k + 1} regime`);
          t.same(c.f, num(r.f_factor), `${id} row ${k + 1} f`);
          t.same(c.value, num(r[col]), `${id} row ${k + 1} ${col}`);
        });
        const pts = views[id].data.points || [];
        const want = (refpoints || []).filter((r) => num(r.f) !== undefined && num(r.f) >= 0 && num(r[col]) !== undefined);
        if (pts.length !== want.length) t.fail(`${id}: ${pts.length} reference points plotted, ${want.length} in refpoints.csv`);
        for (const r of want) {
          const p = pts.find((q) => String(q.regime) === r.regime && q.point === r.refpoint);
          if (!p) { t.fail(`${id}: ${r.refpoint} of regime ${r.regime} not plotted`); continue; }
          t.same(p.f, num(r.f), `${id} ${r.refpoint} f`);
          t.same(p.value, num(r[col]), `${id} ${r.refpoint} ${col}`);
        }
      }
      t.done();
    }

    // The tuning against tune.csv: every value tried, its risk, the answer
    // marked and the limit drawn.
    if (!several && tune && tune.length && tune[0].tuned !== undefined) {
      const t = tally('tuning equals tune.csv (values tried, risks, answers, limit)');
      const v = views.tune;
      if (!v) t.fail('no tuning chart');
      else {
        const rows = v.data.tune || [];
        if (rows.length !== tune.length) t.fail(`${rows.length} points plotted, ${tune.length} in tune.csv`);
        tune.forEach((r, k) => {
          const p = rows[k] || {};
          t.same(p.value, num(r[r.tuned]), `row ${k + 1} ${r.tuned}`);
          t.same(p.risk, num(r[r.statistic]), `row ${k + 1} ${r.statistic}`);
          t.same(p.answer, r.answer === '1', `row ${k + 1} answer`);
        });
        const answers = v.marks.filter((m) => m.type === 'symbol').flatMap((m) => m.items.map((it) => it.datum))
          .filter((d) => d && d.answer);
        t.same(answers.length >= tune.filter((r) => r.answer === '1').length, true, 'answers drawn');
        const drawn = rulesLabelled(v, 'Risk limit');
        if (!drawn.length) t.fail('no limit line on the tuning chart');
        for (const d of drawn) t.same(d.value, num(tune[0].limit), 'tuning limit');
      }
      t.done();
    }

    // The trade-offs against summary.csv for every window and risk offered.
    const offered = await page.evaluate(() => ({
      windows: Array.from(document.querySelectorAll('#window-select option')).map((o) => o.value),
      risks: Array.from(document.querySelectorAll('#risk-select option')).map((o) => [o.value, o.textContent]),
    }));
    if (views.tradeoff) {
      const t = tally('trade-offs equal summary.csv (of each set\'s run) for every window and risk');
      const lim = tally(`risk limit (${riskLimit} %) drawn on catch against risk`);
      const named = tally('each point names its run, one name per run');
      for (const w of offered.windows) {
        for (const [rv, rname] of offered.risks) {
          await page.select('#window-select', w);
          await page.select('#risk-select', rv);
          await idle();
          const v = await page.evaluate(describeViews);
          for (const id of ['tradeoff', 'iav']) {
            const rows = v[id].data.sets || [];
            if (rows.length !== allSets.length) t.fail(`${id}: ${rows.length} sets plotted, ${allSets.length} in the runs' sets.csv`);
            const runOfName = new Map();
            for (const r of rows) {
              const S = allSets[r.ix];
              if (!S) { t.fail(`${id}: a point of no set (${JSON.stringify(r).slice(0, 60)})`); continue; }
              const where = `${several ? 'run ' + (S.r + 1) + ' ' : ''}set ${S.row.set}`;
              t.same(String(r.set), S.row.set, `${id} ${where} set`);
              const win = S.R.windowOf[Number(w)];
              // A run without this window has nothing to plot there.
              const key = (stat) => win ? [S.row.set, win.first, win.last, stat].join('|') : '';
              const at = win ? ` ${win.first}-${win.last}` : ' (no such window)';
              if (id === 'tradeoff') {
                t.same(r.risk, num(S.R.summaryBy.get(key(rname))), `${where}${at} ${rname}`);
                t.same(r.catch, num(S.R.summaryBy.get(key('C50'))), `${where}${at} C50`);
              } else {
                t.same(r.iav, num(S.R.summaryBy.get(key('IAV'))), `${where}${at} IAV`);
              }
              if (several) {
                if (!runOfName.has(r.run)) runOfName.set(r.run, S.r);
                named.same(runOfName.get(r.run), S.r, `${id} ${where} named "${r.run}"`);
              }
            }
            if (several) named.same(runOfName.size, runs.length, `${id}: runs named`);
          }
          const drawn = rulesLabelled(v.tradeoff, 'Risk limit');
          if (!drawn.length) lim.fail(`window ${w} ${rname}: no limit line drawn`);
          for (const d of drawn) lim.same(d.value, riskLimit, 'limit');
          looked({ tradeoff: v.tradeoff, iav: v.iav }, `window ${w}, ${rname}`);
        }
      }
      t.done(); lim.done();
      if (several) named.done();
    }

    // The table: a row per set of every run, with a run column on a page of several.
    const table = await page.evaluate(() => ({
      head: Array.from(document.querySelectorAll('#stats-table thead th')).map((th) => th.textContent),
      rows: Array.from(document.querySelectorAll('#stats-table tbody tr')).map((tr) =>
        Array.from(tr.children).slice(0, 2).map((td) => td.textContent)),
    }));
    {
      const t = tally('the table has a row per set' + (several ? ', each with its run' : ''));
      t.same(table.rows.length, allSets.length, 'rows');
      t.same(table.head[0], several ? 'run' : 'set', 'first column');
      table.rows.forEach((cells, k) => t.same(several ? cells[1] : cells[0], allSets[k].row.set, `row ${k + 1} set`));
      t.done();
    }

    // The per-set charts for every set up to 20, then for a sample of 20.
    const nsets = allSets.length;
    let chosen = [...Array(nsets).keys()];
    if (nsets > 20) chosen = [...new Set([...Array(20).keys()].map((k) => Math.round(k * (nsets - 1) / 19)))];
    const perset = {
      fans: tally('fans equal yearly.csv\'s fractiles (ssb, f, catch, recruitment; the median TAC)'),
      iters: tally('single iterations equal sample_iterations.csv'),
      prob: tally('yearly risk equals p_below_blim (%)'),
      refs: tally('reference lines (risk limit, Blim, trigger, Target) drawn at their values'),
      shape: tally('rule shape equals ruleshape.csv'),
    };
    for (const ix of chosen) {
      await page.select('#set-select', String(ix));
      await idle();
      const shown = await page.evaluate(() => window.tacsimShown);
      if (shown !== undefined && shown !== ix) perset.fans.fail(`set index ${ix} chosen, ${shown} shown`);
      views = await page.evaluate(describeViews);
      const { R, row } = allSets[ix];
      const { yearlyBy, shapeBy, ruleshape, run } = R;
      const setId = row.set;
      for (const q of ['ssb', 'f', 'catch', 'recruitment']) {
        if (!views[q]) { perset.fans.fail(`no ${q} chart`); continue; }
        checkFan(R, q, q, setId, views[q], perset.fans);
        checkIterations(R, q, q, setId, views[q], perset.iters);
      }
      if (views.catch) {
        const tac = new Map((yearlyBy.get(setId + '|tac') || []).map((r) => [r.year, num(r.p50)]));
        const extra = views.catch.data.extra || [];
        if (extra.length !== tac.size) perset.fans.fail(`catch set ${setId}: ${extra.length} TAC medians plotted, ${tac.size} in yearly.csv`);
        for (const r of extra) perset.fans.same(r.value, tac.get(String(r.year)), `TAC set ${setId} ${r.year}`);
      }
      if (views.plim) {
        const rows = yearlyBy.get(setId + '|p_below_blim') || [];
        const got = new Map((views.plim.data.prob || []).map((r) => [String(r.year), r.value]));
        const want = rows.filter((r) => r.mean !== '');
        if (got.size !== want.length) perset.prob.fail(`set ${setId}: ${got.size} years plotted, ${want.length} in yearly.csv`);
        for (const r of want) perset.prob.same(got.get(r.year), num(r.mean), `set ${setId} ${r.year}`);
        const drawn = rulesLabelled(views.plim, 'Risk limit');
        if (!drawn.length) perset.refs.fail(`plim set ${setId}: no risk limit line drawn`);
        for (const d of drawn) perset.refs.same(d.value, riskLimit, `plim set ${setId} risk limit`);
      }
      if (run.blim !== undefined && views.ssb) checkRef('ssb', views.ssb, 'Blim', run.blim, perset.refs, `ssb set ${setId}`);
      const trig = row.Btrig1 !== undefined && (row.rule === '2' || row.rule === '6') ? undefined : row.Btrig1;
      if (trig !== undefined && views.ssb) checkRef('ssb', views.ssb, 'Trigger', num(trig), perset.refs, `ssb set ${setId}`);
      if (run.vtype === 1 && row.Target !== undefined && views.f) checkRef('f', views.f, 'Target', num(row.Target), perset.refs, `f set ${setId}`);
      if (ruleshape && views.shape) {
        const want = shapeBy.get(setId) || [];
        const got = views.shape.data.shape || [];
        if (got.length !== want.length) perset.shape.fail(`set ${setId}: ${got.length} points plotted, ${want.length} in ruleshape.csv`);
        const byKey = new Map(got.map((r) => [r.series + '|' + r.basis, r.value]));
        for (const r of want) perset.shape.same(byKey.get(r.series + '|' + num(r.basis)), num(r.value), `set ${setId} ${r.series} at ${r.basis}`);
      }
      looked(views, `set ${setId}`);
    }
    console.log(`note per-set charts checked for ${chosen.length} of ${nsets} option sets`);
    for (const t of Object.values(perset)) t.done();
    inside.done(); labels.done(); probAxis.done();

    const width = await page.evaluate(() => Math.max(document.documentElement.scrollWidth, document.body.scrollWidth));
    check(width <= 1280, `page fits 1280 pixels wide (${width})`);

    // Numbers as people write them: no visible number with more than seven
    // significant digits (0.35000002 is a float's noise), under every
    // colouring of the trade-offs; no label outside its chart.
    {
      const t = tally('no visible number has more than 7 significant digits');
      const inChart = tally('no label leaves its chart');
      const colours = await page.evaluate(() => Array.from(document.querySelectorAll('#colour-select option')).map((o) => o.value));
      for (const c of colours.length ? colours : [null]) {
        if (c !== null) { await page.select('#colour-select', c); await idle(); }
        const seen = await page.evaluate(() => {
          const texts = [document.body.innerText];
          document.querySelectorAll('svg text').forEach((e) => texts.push(e.textContent));
          document.querySelectorAll('select option').forEach((e) => texts.push(e.textContent));
          return { texts };
        });
        // Labels of the data stay in their plotting area.
        const described = await page.evaluate(describeViews);
        const outside = [];
        for (const [id, v] of Object.entries(described)) {
          for (const b of v.labels) {
            if (b.x1 < -1 || b.x2 > b.w + 1 || b.y1 < -1 || b.y2 > b.h + 1) outside.push(`${id}: "${b.text}"`);
          }
        }
        seen.outside = outside;
        for (const text of seen.texts) {
          // Numbers standing alone (not the digits of a commit hash or a name).
          for (const n of text.match(/(?<![\w.])\d[\d.]*(?![\w])/g) || []) {
            const digits = n.replace(/\./g, '').replace(/^0+/, '');
            t.same(digits.length <= 7, true, `"${n}" (colour by ${c})`);
          }
        }
        for (const o of seen.outside) inChart.fail(o);
        inChart.same(true, true, 'charts');
      }
      if (colours.length) { await page.select('#colour-select', colours[0]); await idle(); }
      t.done(); inChart.done();
    }

    // No horizontal overflow of the page on a screen 1400 pixels wide, nor
    // of the printed A4 page (186 mm between the margins).
    {
      await page.setViewport({ width: 1400, height: 900 });
      await idle();
      const wide = await page.evaluate(() => Math.max(document.documentElement.scrollWidth, document.body.scrollWidth));
      check(wide <= 1400, `no horizontal overflow at 1400 pixels (${wide})`);
      const a4 = Math.floor(186 / 25.4 * 96);
      await page.emulateMediaType('print');
      await page.setViewport({ width: a4, height: 1100 });
      await idle();
      const printed = await page.evaluate(() => {
        const over = [];
        const limit = document.documentElement.clientWidth;
        document.querySelectorAll('body *').forEach((e) => {
          const r = e.getBoundingClientRect();
          if (r.width > 0 && r.right > limit + 1 && !e.closest('svg')) over.push((e.id || e.tagName) + ' ' + Math.round(r.right));
        });
        // A number broken across two lines of a cell is no longer read as one.
        const broken = [];
        document.querySelectorAll('td').forEach((td) => {
          const text = td.textContent.trim();
          if (!/^-?[\d.]+$/.test(text) || td.getClientRects().length === 0) return;
          const range = document.createRange();
          range.selectNodeContents(td);
          const lines = new Set(Array.from(range.getClientRects()).map((r) => Math.round(r.top)));
          if (lines.size > 1) broken.push(text);
        });
        return { width: Math.max(document.documentElement.scrollWidth, document.body.scrollWidth), limit, over: over.slice(0, 5),
                 broken: broken.slice(0, 5), nbroken: broken.length };
      });
      check(printed.width <= printed.limit && printed.over.length === 0,
        `no horizontal overflow in the A4 print (${printed.width} of ${printed.limit} pixels${printed.over.length ? ': ' + printed.over.join(', ') : ''})`);
      check(printed.nbroken === 0, `no number of a printed table is broken across lines${printed.nbroken ? ' (' + printed.nbroken + ': ' + printed.broken.join(', ') + ')' : ''}`);
      await page.emulateMediaType('screen');
      await page.setViewport({ width: 1280, height: 900 });
      await idle();
    }

    // Figures for documents: every chart offers SVG and PNG, made in the page.
    const exported = await page.evaluate(async () => {
      const out = {};
      for (const [id, view] of Object.entries(window.tacsimViews)) {
        const links = Array.from(document.querySelectorAll('#chart-' + id + ' .vega-actions a')).map((a) => a.textContent);
        const svg = await view.toSVG();
        const png = await view.toImageURL('png');
        out[id] = { links, svg: svg.startsWith('<svg') && svg.length > 1000, png: png.startsWith('data:image/png;base64,') && png.length > 1000 };
      }
      return out;
    });
    const exportBad = Object.entries(exported).filter(([, e]) => !(e.svg && e.png &&
      e.links.some((t) => /SVG/.test(t)) && e.links.some((t) => /PNG/.test(t))));
    check(exportBad.length === 0 && Object.keys(exported).length > 0,
      `every chart offers SVG and PNG export${exportBad.length ? ': not ' + exportBad.map(([id, e]) => id + ' ' + JSON.stringify(e)).join(', ') : ''}`);

    // Print to PDF: A4, each chart whole on one page (no chart taller than a
    // printed page, none wider, none allowed to break).
    await page.emulateMediaType('print');
    const printed = await page.evaluate(() => {
      const pageHeight = (297 - 24) / 25.4 * 96, pageWidth = (210 - 24) / 25.4 * 96;
      return Array.from(document.querySelectorAll('figure')).map((f) => {
        const r = f.getBoundingClientRect(), st = getComputedStyle(f);
        const svg = f.querySelector('svg'), w = svg ? svg.getBoundingClientRect().width : 0;
        return { id: f.querySelector('.chart') ? f.querySelector('.chart').id : '?', h: r.height, w: w,
                 ok: r.height <= pageHeight && w <= pageWidth + 1 &&
                     (st.breakInside === 'avoid' || st.pageBreakInside === 'avoid') };
      });
    });
    const printBad = printed.filter((f) => !f.ok);
    check(printBad.length === 0, `each chart fits whole on a printed A4 page${printBad.length ? ': not ' + JSON.stringify(printBad) : ''}`);
    const pdf = await page.pdf({ format: 'A4', printBackground: true, preferCSSPageSize: true });
    const pages = (Buffer.from(pdf).toString('latin1').match(/\/Type\s*\/Page[^s]/g) || []).length;
    check(pdf.length > 10000 && pages >= 2, `prints to PDF (${pages} A4 pages, ${Math.round(pdf.length / 1024)} KB)`);
    if (flags.includes('--pdf')) fs.writeFileSync(screenshot.replace(/\.png$/, '') + '.pdf', pdf);
    await page.emulateMediaType('screen');
    await page.select('#set-select', '0');
    await idle();
    await page.screenshot({ path: screenshot, fullPage: true });

    check(errors.length === 0, 'no console error' + (errors.length ? ': ' + errors.join(' | ') : ''));
    check(blocked === 0 && failed === 0, `no request left the page (blocked ${blocked}, failed ${failed})`);
    console.log(`first chart drawn after ${firstChart} ms, every chart after ${allCharts} ms`);
    if (flags.includes('--timing')) console.log(JSON.stringify({ firstChart, allCharts }));
  } finally {
    await browser.close();
    fs.rmSync(profile, { recursive: true, force: true });
  }
  process.exit(failures.length ? 1 : 0);
})().catch((e) => {
  console.error('FAIL ' + (e && e.stack ? e.stack : e));
  process.exit(1);
});
