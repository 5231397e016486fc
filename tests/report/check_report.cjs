// Opens a report.html in headless Chromium (the system's browser, driven by
// puppeteer-core) with the network cut off and checks what a reader sees:
// no console error and no failed request, marks drawn in every chart, the
// per-set charts change when another option set is chosen, and the page
// fits 1280 pixels wide. Keeps a screenshot.
//   node check_report.cjs NODE_MODULES REPORT.html SCREENSHOT.png [--timing]
// Exit status 0 when every check passes, 1 otherwise.
'use strict';
const path = require('path');
const fs = require('fs');
const os = require('os');

const [nodeModules, reportFile, screenshot, ...flags] = process.argv.slice(2);
if (!nodeModules || !reportFile || !screenshot) {
  console.error('usage: node check_report.cjs NODE_MODULES REPORT.html SCREENSHOT.png [--timing]');
  process.exit(2);
}
const puppeteer = require(path.join(path.resolve(nodeModules), 'puppeteer-core'));
const browserPath = process.env.TACSIM_CHROMIUM || '/usr/bin/chromium';

const failures = [];
const check = (ok, what) => {
  console.log((ok ? 'ok   ' : 'FAIL ') + what);
  if (!ok) failures.push(what);
};

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
    await page.goto(url, { waitUntil: 'load', timeout: 60000 });
    await page.waitForFunction(() => window.tacsimReady === true, { timeout: 60000, polling: 50 });
    const allCharts = Date.now() - t0;
    // When the first chart was in the page, from the start of the navigation.
    const firstChart = Math.round(await page.evaluate(() => window.tacsimFirstChart));

    // Every chart has drawn marks (items in its scenegraph, not only axes).
    const marks = await page.evaluate(() => {
      const out = {};
      for (const [id, view] of Object.entries(window.tacsimViews)) {
        let n = 0;
        const walk = (node) => {
          if (!node) return;
          if (node.marktype && node.role === 'mark') {
            n += (node.items || []).filter((it) => it.x !== undefined || it.path !== undefined || it.y !== undefined).length;
          }
          (node.items || []).forEach(walk);
        };
        walk(view.scenegraph().root);
        out[id] = n;
      }
      return out;
    });
    const chartIds = await page.evaluate(() => Array.from(document.querySelectorAll('.chart')).map((e) => e.id.slice(6)));
    for (const id of chartIds) check(marks[id] > 0, `chart ${id} has drawn marks (${marks[id] || 0})`);

    // Another option set changes the per-set charts.
    const perSet = ['ssb', 'f', 'catch', 'recruitment'];
    const snapshot = () => page.evaluate((ids) => ids.map((id) => {
      const svg = document.querySelector('#chart-' + id + ' svg');
      return svg ? svg.innerHTML : '';
    }), perSet);
    const before = await snapshot();
    const nsets = await page.evaluate(() => document.querySelectorAll('#set-select option').length);
    if (nsets > 1) {
      await page.select('#set-select', String(nsets - 1));
      await page.waitForFunction((ids, old) => ids.some((id, k) => {
        const svg = document.querySelector('#chart-' + id + ' svg');
        return svg && svg.innerHTML !== old[k];
      }), { timeout: 10000, polling: 50 }, perSet, before).catch(() => {});
      const after = await snapshot();
      perSet.forEach((id, k) => check(after[k] !== before[k], `choosing another option set changes the ${id} chart`));
    } else {
      console.log('note one option set only: the set choice is not exercised');
    }

    const width = await page.evaluate(() => Math.max(document.documentElement.scrollWidth, document.body.scrollWidth));
    check(width <= 1280, `page fits 1280 pixels wide (${width})`);
    await page.select('#set-select', '0');
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
