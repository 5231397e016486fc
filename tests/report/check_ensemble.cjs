// Opens an ensemble's report.html in headless Chromium (puppeteer-core, the
// system's browser) with the network cut off and holds what the page shows
// against the tables of the ensemble's folder:
//   - the pooled trade-off points against ensemble.csv (risk3 and C50, all years);
//   - every cell of the matrix against by_model.csv, the cells over the
//     limit marked, reference and robustness models in their own tables;
//   - the fans of SSB and catch of every model against its yearly.csv, for
//     every option set chosen in turn;
//   - the answer: the set of the highest pooled median catch among those
//     that meet the limit, and the robustness models meeting it (as
//     robustness.csv counts them when it was written at this limit).
// Also: no console error, no request leaves the page.
//   node check_ensemble.cjs NODE_MODULES OUT_DIR LIMIT
'use strict';
const path = require('path');
const fs = require('fs');
const os = require('os');

const [nodeModules, outDir, limitText] = process.argv.slice(2);
const limit = Number(limitText);
const puppeteer = require(path.join(path.resolve(nodeModules), 'puppeteer-core'));
const failures = [];
const check = (ok, what) => { console.log((ok ? 'ok   ' : 'FAIL ') + what); if (!ok) failures.push(what); };

function readCsv(file) {
  const lines = fs.readFileSync(file, 'utf8').split('\n').filter((l) => l.length);
  const header = lines[0].split(',');
  return lines.slice(1).map((l) => { const f = l.split(','); const r = {}; header.forEach((h, i) => { r[h] = f[i]; }); return r; });
}
const widest = (rows) => {
  const span = Math.max(...rows.map((r) => Number(r.last_year) - Number(r.first_year)));
  return rows.filter((r) => Number(r.last_year) - Number(r.first_year) === span);
};
const num = (t) => (t === '' || t === undefined ? null : Number(t));

// Every datum drawn in a view's scenegraph.
function datums(view) {
  const out = [];
  const walk = (node) => {
    if (!node) return;
    if (node.items) node.items.forEach((it) => { if (it.datum && !it.items) out.push(it.datum); walk(it); });
  };
  walk(view.scenegraph().root);
  return out;
}

(async () => {
  const pooled = widest(readCsv(path.join(outDir, 'ensemble.csv')));
  const byModel = widest(readCsv(path.join(outDir, 'by_model.csv')));
  const robust = widest(readCsv(path.join(outDir, 'robustness.csv')));
  const models = [...new Set(byModel.map((r) => r.model))];
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'tacsim-chromium-'));
  const browser = await puppeteer.launch({
    executablePath: process.env.TACSIM_CHROMIUM || '/usr/bin/chromium', headless: true, userDataDir: profile,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking',
           '--disable-component-update', '--disable-sync', '--disable-dev-shm-usage'],
  });
  try {
    const page = await browser.newPage();
    await page.setViewport({ width: 1280, height: 900 });
    const errors = [];
    let blocked = 0;
    page.on('console', (m) => { if (m.type() === 'error') errors.push(m.text()); });
    page.on('pageerror', (e) => errors.push(String(e)));
    await page.setRequestInterception(true);
    page.on('request', (req) => {
      const u = req.url();
      if (u.startsWith('file:') || u.startsWith('data:') || u.startsWith('blob:') || u === 'about:blank') req.continue();
      else { blocked += 1; req.abort('internetdisconnected'); }
    });
    await page.goto('file://' + path.resolve(outDir, 'report.html'), { waitUntil: 'load', timeout: 120000 });
    try {
      await page.waitForFunction(() => window.tacsimReady === true, { timeout: 60000, polling: 50 });
    } catch (e) {
      throw new Error('the page was not drawn: ' + (errors.join(' | ') || e));
    }

    // The pooled trade-offs.
    const points = await page.evaluate(`(${datums.toString()})(window.tacsimViews['ens-tradeoff']).filter((d) => d.set !== undefined)`);
    const want = {};
    for (const r of pooled) if (r.statistic === 'risk3' || r.statistic === 'C50') (want[r.set] = want[r.set] || {})[r.statistic] = num(r.value);
    let bad = points.filter((p) => !want[p.set] || want[p.set].risk3 !== p.risk3 || want[p.set].C50 !== p.C50);
    check(points.length === Object.keys(want).length && bad.length === 0,
      `trade-off points against ensemble.csv (${points.length} sets${bad.length ? ', differ: ' + JSON.stringify(bad.slice(0, 3)) : ''})`);

    // The matrix.
    const cells = await page.evaluate(() => Array.from(document.querySelectorAll('table.matrix td[data-model]')).map((td) => ({
      model: td.dataset.model, set: td.dataset.set, text: td.textContent, over: td.classList.contains('over'),
      table: td.closest('table').id })));
    const mine = {};
    for (const r of byModel) if (r.statistic === 'risk3' || r.statistic === 'C50') ((mine[r.model] = mine[r.model] || {})[r.set] = mine[r.model][r.set] || { group: r.model_set })[r.statistic] = num(r.value);
    bad = [];
    for (const c of cells) {
      const w = mine[c.model] && mine[c.model][c.set];
      const [risk, c50] = c.text.split(' / ').map(Number);
      if (!w || w.risk3 !== risk || w.C50 !== c50 || c.over !== (w.risk3 > limit) || c.table !== 'ens-matrix-' + w.group) bad.push(c);
    }
    check(cells.length === models.length * Object.keys(want).length && bad.length === 0,
      `matrix cells against by_model.csv (${cells.length}${bad.length ? ', differ: ' + JSON.stringify(bad.slice(0, 3)) : ''})`);

    // The answer.
    let best = null;
    for (const [set, w] of Object.entries(want)) if (w.risk3 <= limit && (best === null || w.C50 > want[best].C50)) best = set;
    const answer = await page.evaluate(() => document.getElementById('ens-answer').textContent);
    // The robustness models meeting the limit, from their cells; robustness.csv
    // counts the same when it was written at this limit.
    const robustCells = byModel.filter((r) => r.model_set === 'robustness' && r.statistic === 'risk3' && r.set === best);
    const held = robustCells.length ? { meeting: robustCells.filter((r) => num(r.value) <= limit).length, models: robustCells.length } : null;
    const listed = robust.find((r) => r.set === best);
    if (listed && Number(listed.risk_limit) === limit) {
      check(Number(listed.meeting) === held.meeting && Number(listed.models) === held.models,
        `robustness.csv counts ${listed.meeting} of ${listed.models} for set ${best}, as the cells do`);
    }
    check(best === null ? /No option set/.test(answer)
      : answer.includes(`set ${best}`) && (!held || answer.includes(`${held.meeting} of ${held.models} robustness`)),
      `the answer names set ${best}${held ? ` and ${held.meeting} of ${held.models} robustness models` : ''}: ${answer}`);

    // The fans of every set.
    const yearly = {};
    for (const m of models) yearly[m] = readCsv(path.join(outDir, m, 'yearly.csv')).filter((r) => r.quantity === 'ssb' || r.quantity === 'catch');
    for (const set of Object.keys(want)) {
      await page.evaluate((s) => { const c = document.getElementById('ens-set'); c.value = s; c.dispatchEvent(new Event('change')); }, set);
      await page.waitForFunction((s) => window.tacsimReady === true && window.tacsimShownSet === Number(s), { timeout: 60000, polling: 50 }, set);
      let n = 0; bad = [];
      for (const [id, q] of [['ens-ssb', 'ssb'], ['ens-catch', 'catch']]) {
        const drawn = await page.evaluate(`(${datums.toString()})(window.tacsimViews['${id}']).filter((d) => d.p50 !== undefined)`);
        const seen = new Set();
        for (const d of drawn) {
          const key = `${d.model}/${d.year}`;
          if (seen.has(key)) continue;
          seen.add(key); n += 1;
          const r = yearly[d.model].find((y) => y.set === set && y.quantity === q && Number(y.year) === d.year);
          if (!r || ['p05', 'p25', 'p50', 'p75', 'p95'].some((k) => num(r[k]) !== d[k])) bad.push({ id, d });
        }
        const expected = models.reduce((a, m) => a + yearly[m].filter((y) => y.set === set && y.quantity === q).length, 0);
        if (seen.size !== expected) bad.push({ id, drawn: seen.size, expected });
      }
      check(n > 0 && bad.length === 0, `fans of set ${set} against each model's yearly.csv (${n} years${bad.length ? ', differ: ' + JSON.stringify(bad.slice(0, 2)) : ''})`);
    }
    check(errors.length === 0, 'no console error' + (errors.length ? ': ' + errors.join(' | ') : ''));
    check(blocked === 0, `no request leaves the page (${blocked} blocked)`);
    await page.screenshot({ path: path.join(outDir, 'report-screenshot.png'), fullPage: true });
  } finally {
    await browser.close();
    fs.rmSync(profile, { recursive: true, force: true });
  }
  process.exit(failures.length ? 1 : 0);
})().catch((e) => { console.error('FAIL ' + (e && e.stack ? e.stack : e)); process.exit(1); });
