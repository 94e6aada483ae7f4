// Loads converted pages in Debian's Chromium and checks what a reader sees:
// the number of posts, the title, that no script of the log ran, and that
// the text of the log is visible. Usage: node page_check.js manifest.json
// The manifest lists {file, posts, title, screenshot?, mustShow?: [text]}.
'use strict';
const fs = require('fs');
const os = require('os');
const path = require('path');
const { chromium } = require('playwright-core');

async function main() {
  const manifest = JSON.parse(fs.readFileSync(process.argv[2], 'utf8'));
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'page-check-'));
  // A fresh profile folder per run (playwright passes it as --user-data-dir).
  const browser = await chromium.launchPersistentContext(profile, {
    executablePath: '/usr/bin/chromium',
    headless: true,
    viewport: { width: 1000, height: 800 },
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
  let failures = 0;
  try {
    for (const entry of manifest) {
      const page = await browser.newPage();
      const dialogs = [];
      page.on('dialog', async (d) => { dialogs.push(d.message()); await d.dismiss(); });
      // Pages must stand alone: any request off this machine is a fault.
      await page.route(/^https?:/, (route) => route.abort());
      await page.goto('file://' + entry.file, { waitUntil: 'load' });
      const seen = await page.evaluate((expectedTitle) => {
        const decode = document.createElement('textarea');
        decode.innerHTML = expectedTitle;
        const heading = document.querySelector('h1') || document.querySelector('font[size="+1"]');
        return {
          posts: document.querySelectorAll('dt').length,
          title: document.title,
          heading: heading ? heading.textContent : null,
          expectedTitle: decode.value,
          pwned: window.__pwned === true,
          text: document.body ? document.body.innerText : '',
        };
      }, entry.title);
      const problems = [];
      if (seen.posts !== entry.posts) problems.push(`posts ${seen.posts} != ${entry.posts}`);
      if (seen.title !== seen.expectedTitle) problems.push(`title "${seen.title}" != "${seen.expectedTitle}"`);
      if (seen.heading !== null && seen.heading !== seen.expectedTitle) problems.push(`heading "${seen.heading}"`);
      if (seen.pwned || dialogs.length) problems.push(`a script of the log ran (${dialogs.join(',')})`);
      for (const text of entry.mustShow || []) {
        if (!seen.text.includes(text)) problems.push(`text not visible: ${text}`);
      }
      if (entry.screenshot) await page.screenshot({ path: entry.screenshot });
      console.log(`${problems.length ? 'FAIL' : 'ok  '} ${entry.file} posts=${seen.posts}` +
                  (problems.length ? ' ' + problems.join('; ') : ''));
      failures += problems.length ? 1 : 0;
      await page.close();
    }
  } finally {
    await browser.close();
    fs.rmSync(profile, { recursive: true, force: true });
  }
  process.exit(failures ? 1 : 0);
}

main().catch((e) => { console.error(e); process.exit(2); });
