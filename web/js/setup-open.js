import { post, isOk, errorText } from './api.js';

// The way back into the setup wizard from the chat dock: the ".setup-open"
// buttons ask the plug-in to open the Setup dialog, or to bring it to the
// front when it is open already ("/api/setup-open").

const TITLE = 'Open setup';

for (const button of document.querySelectorAll('.setup-open')) {
	button.addEventListener('click', async () => {
		button.disabled = true;
		const reply = await post('setup-open');
		button.disabled = false;
		// The dialog itself is the success; a failure is told where the
		// pointer is.
		button.title = isOk(reply) ? TITLE : `${TITLE}: ${errorText(reply)}`;
	});
}
