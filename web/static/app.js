// Tamsel web application: keyboard navigation and the details panel of the log browser, live
// refresh, copy buttons, confirmations, and the batched purge with its progress bar.
// Everything works without this script; it only makes the pages quicker to use.

const typing = (target) =>
  target instanceof HTMLElement && target.closest('input, select, textarea, button') !== null;

async function copyText(text, button) {
  try {
    await navigator.clipboard.writeText(text);
  } catch {
    const area = document.createElement('textarea');
    area.value = text;
    document.body.append(area);
    area.select();
    document.execCommand('copy');
    area.remove();
  }
  if (button) {
    const label = button.textContent;
    button.textContent = 'Copied';
    setTimeout(() => { button.textContent = label; }, 1200);
  }
}

function logBrowser() {
  const table = document.getElementById('entries');
  const panel = document.getElementById('details');
  const browser = document.querySelector('.browser');
  if (!table || !panel || !browser) return;
  const rows = [...table.tBodies[0].rows];
  let selected = -1;

  const select = (index) => {
    if (rows.length === 0) return;
    selected = Math.max(0, Math.min(rows.length - 1, index));
    rows.forEach((row, i) => row.classList.toggle('selected', i === selected));
    rows[selected].focus({ preventScroll: true });
    rows[selected].scrollIntoView({ block: 'nearest', inline: 'nearest' });
    if (!panel.hidden) open();
  };
  const open = () => {
    if (selected < 0) return;
    const data = rows[selected].dataset;
    for (const field of panel.querySelectorAll('[data-field]')) {
      field.textContent = data[field.dataset.field] ?? '';
    }
    panel.hidden = false;
    browser.classList.add('with-details');
  };
  const close = () => {
    panel.hidden = true;
    browser.classList.remove('with-details');
  };

  rows.forEach((row, i) => {
    row.addEventListener('click', (event) => {
      if (event.ctrlKey || event.metaKey || event.shiftKey) return;  // a link for a new tab
      if (event.target instanceof HTMLAnchorElement) event.preventDefault();
      select(i);
      open();
    });
  });
  document.getElementById('close-details')?.addEventListener('click', close);
  document.getElementById('copy-entry')?.addEventListener('click', (event) => {
    if (selected < 0) return;
    const data = rows[selected].dataset;
    const text = [
      `Entry ${data.leid}`, `Time generated: ${data.time}`, `Server: ${data.server}`,
      `Log: ${data.log}`, `Type: ${data.typeName}`, `Event ID: ${data.eventId}`,
      `Source: ${data.source}`, `Category: ${data.category}`, `User: ${data.user}`,
      '', data.message ?? '',
    ].join('\n');
    copyText(text, event.currentTarget);
  });

  document.addEventListener('keydown', (event) => {
    if (event.ctrlKey || event.metaKey || event.altKey || typing(event.target)) {
      if (!(event.key === 'Enter' && event.target instanceof HTMLTableRowElement)) return;
    }
    const go = (name) => document.querySelector(`[data-nav="${name}"]`)?.click();
    switch (event.key) {
      case 'j': case 'ArrowDown': select(selected + 1); break;
      case 'k': case 'ArrowUp': select(selected < 0 ? 0 : selected - 1); break;
      case 'Enter': if (selected < 0) select(0); open(); break;
      case 'Escape': close(); break;
      case 'n': go('next'); break;
      case 'p': go('prev'); break;
      default: return;
    }
    event.preventDefault();
  });

  const live = Number(browser.dataset.live || 0);
  if (live > 0) {
    setInterval(() => {
      if (panel.hidden && !typing(document.activeElement)) location.reload();
    }, live * 1000);
  }
}

function filterForm() {
  const form = document.getElementById('filter');
  if (!form) return;
  for (const input of form.querySelectorAll('input[type="datetime-local"]')) {
    input.addEventListener('input', () => {
      const custom = form.querySelector('input[name="range"][value="custom"]');
      if (custom) custom.checked = true;
    });
  }
}

function copyButtons() {
  for (const button of document.querySelectorAll('[data-copy]')) {
    button.addEventListener('click', () => {
      const target = document.querySelector(button.dataset.copy);
      if (target) copyText(target.innerText, button);
    });
  }
}

function confirmations() {
  for (const form of document.querySelectorAll('form[data-confirm]')) {
    form.addEventListener('submit', (event) => {
      if (!confirm(form.dataset.confirm)) event.preventDefault();
    });
  }
}

// A purge deletes one batch per request until the server reports a short batch.
function purges() {
  for (const form of document.querySelectorAll('form[data-purge]')) {
    const box = document.getElementById(form.dataset.purge);
    form.addEventListener('submit', async (event) => {
      event.preventDefault();
      if (form.dataset.confirm === undefined && !confirm('Delete these entries for good?')) return;
      const bar = box.querySelector('.progress > span');
      const text = box.querySelector('.purge-text');
      const cancel = box.querySelector('.purge-cancel');
      let cancelled = false;
      cancel.onclick = () => { cancelled = true; };
      box.hidden = false;
      cancel.disabled = false;
      let deleted = 0;
      const total = Number(form.dataset.total || 0);
      for (;;) {
        if (cancelled) { text.textContent = `Cancelled after ${deleted} entries.`; break; }
        const response = await fetch(form.action, {
          method: 'POST', body: new URLSearchParams(new FormData(form)),
          headers: { 'X-Requested-With': 'fetch' },
        });
        if (!response.ok) { text.textContent = await response.text(); break; }
        const answer = await response.json();
        deleted += answer.deleted;
        const share = total > 0 ? Math.min(100, (100 * deleted) / total) : (answer.done ? 100 : 50);
        bar.style.width = `${answer.done ? 100 : share}%`;
        text.textContent = answer.done ? `Done: ${deleted} entries deleted.`
                                       : `${deleted} entries deleted…`;
        const count = form.closest('tr')?.querySelector('td.num');
        if (count && total > 0) count.textContent = String(Math.max(0, total - deleted));
        if (answer.done) break;
      }
      cancel.disabled = true;
    });
  }
}

logBrowser();
filterForm();
copyButtons();
confirmations();
purges();
