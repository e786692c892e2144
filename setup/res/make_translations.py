#!/usr/bin/env python3
"""Writes setup_de.rc, setup_fr.rc, setup_it.rc, setup_es.rc and setup_nl.rc from setup_en.rc:
the same dialogs and string ids, every English text replaced by its translation below. Run it
after changing setup_en.rc; it stops when a text has no translation. The build uses the
committed files."""
import os
import re
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
# Texts that are names, not words.
KEEP = {"", "MS Shell Dlg", "RichEdit", "Static", "SysListView32", "msctls_progress32", "velmora",
        "http://www.velmora.example/support", "Brindle Setup"}

LANGUAGES = {
    "de": ("LANG_GERMAN, SUBLANG_GERMAN", "German"),
    "fr": ("LANG_FRENCH, SUBLANG_FRENCH", "French"),
    "it": ("LANG_ITALIAN, SUBLANG_ITALIAN", "Italian"),
    "es": ("LANG_SPANISH, SUBLANG_SPANISH_MODERN", "Spanish"),
    "nl": ("LANG_DUTCH, SUBLANG_DUTCH", "Dutch"),
}

# English text -> (de, fr, it, es, nl); RC escapes (\r\n, \\, "") as in the English file.
T = {
    "Setup": ("Setup", "Installation", "Installazione", "Instalación", "Installatie"),
    "I &accept the agreement": ("Ich &akzeptiere die Vereinbarung", "J'&accepte le contrat",
                                "&Accetto il contratto", "&Acepto el contrato", "Ik &ga akkoord met de overeenkomst"),
    "I do &not accept the agreement": ("Ich akzeptiere die Vereinbarung &nicht", "Je &n'accepte pas le contrat",
                                       "&Non accetto il contratto", "&No acepto el contrato",
                                       "Ik ga &niet akkoord met de overeenkomst"),
    "How do you want to install the software?": (
        "Wie möchten Sie die Software installieren?", "Comment voulez-vous installer le logiciel ?",
        "Come si desidera installare il software?", "¿Cómo desea instalar el software?",
        "Hoe wilt u de software installeren?"),
    "&Default installation": ("&Standardinstallation", "Installation par &défaut", "Installazione &predefinita",
                              "Instalación &predeterminada", "&Standaardinstallatie"),
    "The recommended components are installed into the recommended folder.": (
        "Die empfohlenen Komponenten werden in den empfohlenen Ordner installiert.",
        "Les composants recommandés sont installés dans le dossier recommandé.",
        "I componenti consigliati vengono installati nella cartella consigliata.",
        "Los componentes recomendados se instalan en la carpeta recomendada.",
        "De aanbevolen onderdelen worden in de aanbevolen map geïnstalleerd."),
    "&Custom installation": ("&Benutzerdefinierte Installation", "Installation &personnalisée",
                             "Installazione &personalizzata", "Instalación &personalizada", "&Aangepaste installatie"),
    "You choose the components and the folder. For experienced users.": (
        "Sie wählen die Komponenten und den Ordner. Für erfahrene Benutzer.",
        "Vous choisissez les composants et le dossier. Pour les utilisateurs expérimentés.",
        "Si scelgono i componenti e la cartella. Per utenti esperti.",
        "Usted elige los componentes y la carpeta. Para usuarios experimentados.",
        "U kiest de onderdelen en de map. Voor ervaren gebruikers."),
    "Tick the components you want to install:": (
        "Markieren Sie die Komponenten, die installiert werden sollen:",
        "Cochez les composants à installer :", "Selezionare i componenti da installare:",
        "Marque los componentes que desea instalar:", "Vink de onderdelen aan die u wilt installeren:"),
    "Setup installs the software into the folder below. To install it into another folder, enter its path or click Browse.": (
        "Das Setup installiert die Software in den folgenden Ordner. Um sie in einen anderen Ordner zu installieren, geben Sie dessen Pfad ein oder klicken Sie auf Durchsuchen.",
        "Le programme d'installation installe le logiciel dans le dossier ci-dessous. Pour l'installer ailleurs, entrez un autre chemin ou cliquez sur Parcourir.",
        "Il programma di installazione installa il software nella cartella seguente. Per installarlo in un'altra cartella, immetterne il percorso o fare clic su Sfoglia.",
        "El programa de instalación instala el software en la carpeta siguiente. Para instalarlo en otra carpeta, escriba su ruta o haga clic en Examinar.",
        "Setup installeert de software in de onderstaande map. Om in een andere map te installeren, typt u het pad of klikt u op Bladeren."),
    "&Target folder:": ("&Zielordner:", "Dossier de &destination :", "Cartella di &destinazione:",
                        "Carpeta de &destino:", "&Doelmap:"),
    "&Browse...": ("&Durchsuchen...", "&Parcourir...", "&Sfoglia...", "&Examinar...", "&Bladeren..."),
    "This wizard installs the Brindle home network programs on your computer: the status monitor with its plug-ins, the powerline configuration wizard, file sharing and the privacy cleaner.\\r\\n\\r\\nClose all other programs before you continue.\\r\\n\\r\\nClick Next to continue.": (
        "Dieser Assistent installiert die Brindle-Heimnetzprogramme auf Ihrem Computer: den Statusmonitor mit seinen Plug-ins, den Powerline-Konfigurationsassistenten, die Dateifreigabe und die Datenschutzreinigung.\\r\\n\\r\\nSchließen Sie alle anderen Programme, bevor Sie fortfahren.\\r\\n\\r\\nKlicken Sie auf Weiter, um fortzufahren.",
        "Cet assistant installe les programmes de réseau domestique Brindle sur votre ordinateur : le moniteur d'état et ses modules, l'assistant de configuration CPL, le partage de fichiers et le nettoyeur de confidentialité.\\r\\n\\r\\nFermez tous les autres programmes avant de continuer.\\r\\n\\r\\nCliquez sur Suivant pour continuer.",
        "Questa procedura guidata installa sul computer i programmi per la rete domestica Brindle: il monitor di stato con i suoi plug-in, la procedura di configurazione powerline, la condivisione di file e la pulizia della privacy.\\r\\n\\r\\nChiudere tutti gli altri programmi prima di continuare.\\r\\n\\r\\nFare clic su Avanti per continuare.",
        "Este asistente instala en su equipo los programas de red doméstica Brindle: el monitor de estado con sus complementos, el asistente de configuración powerline, el uso compartido de archivos y el limpiador de privacidad.\\r\\n\\r\\nCierre todos los demás programas antes de continuar.\\r\\n\\r\\nHaga clic en Siguiente para continuar.",
        "Deze wizard installeert de Brindle-thuisnetwerkprogramma's op uw computer: de statusmonitor met zijn plug-ins, de powerline-configuratiewizard, het delen van bestanden en de privacyreiniger.\\r\\n\\r\\nSluit alle andere programma's voordat u verdergaat.\\r\\n\\r\\nKlik op Volgende om verder te gaan."),
    "This wizard removes Brindle home network programs from your computer.\\r\\n\\r\\nClose the programs before you continue.\\r\\n\\r\\nClick Next to continue.": (
        "Dieser Assistent entfernt Brindle-Heimnetzprogramme von Ihrem Computer.\\r\\n\\r\\nSchließen Sie die Programme, bevor Sie fortfahren.\\r\\n\\r\\nKlicken Sie auf Weiter, um fortzufahren.",
        "Cet assistant supprime des programmes de réseau domestique Brindle de votre ordinateur.\\r\\n\\r\\nFermez les programmes avant de continuer.\\r\\n\\r\\nCliquez sur Suivant pour continuer.",
        "Questa procedura guidata rimuove dal computer i programmi per la rete domestica Brindle.\\r\\n\\r\\nChiudere i programmi prima di continuare.\\r\\n\\r\\nFare clic su Avanti per continuare.",
        "Este asistente quita de su equipo programas de red doméstica Brindle.\\r\\n\\r\\nCierre los programas antes de continuar.\\r\\n\\r\\nHaga clic en Siguiente para continuar.",
        "Deze wizard verwijdert Brindle-thuisnetwerkprogramma's van uw computer.\\r\\n\\r\\nSluit de programma's voordat u verdergaat.\\r\\n\\r\\nKlik op Volgende om verder te gaan."),
    "Welcome to the Brindle Setup Wizard": ("Willkommen beim Brindle-Setup-Assistenten",
                                            "Bienvenue dans l'assistant d'installation de Brindle",
                                            "Installazione guidata di Brindle", "Bienvenido al asistente de instalación de Brindle",
                                            "Welkom bij de installatiewizard van Brindle"),
    "Welcome to the Brindle Removal Wizard": ("Willkommen beim Brindle-Entfernungsassistenten",
                                              "Bienvenue dans l'assistant de suppression de Brindle",
                                              "Rimozione guidata di Brindle", "Bienvenido al asistente de desinstalación de Brindle",
                                              "Welkom bij de verwijderwizard van Brindle"),
    "License Agreement": ("Lizenzvereinbarung", "Contrat de licence", "Contratto di licenza", "Contrato de licencia",
                          "Licentieovereenkomst"),
    "Please read the following license agreement carefully.": (
        "Bitte lesen Sie die folgende Lizenzvereinbarung sorgfältig durch.",
        "Veuillez lire attentivement le contrat de licence suivant.",
        "Leggere attentamente il seguente contratto di licenza.",
        "Lea detenidamente el siguiente contrato de licencia.",
        "Lees de volgende licentieovereenkomst zorgvuldig door."),
    "Type of Installation": ("Installationsart", "Type d'installation", "Tipo di installazione", "Tipo de instalación",
                             "Soort installatie"),
    "Select either default or custom installation.": (
        "Wählen Sie die Standard- oder die benutzerdefinierte Installation.",
        "Choisissez l'installation par défaut ou personnalisée.",
        "Scegliere l'installazione predefinita o personalizzata.",
        "Elija la instalación predeterminada o la personalizada.",
        "Kies de standaardinstallatie of een aangepaste installatie."),
    "Software Components": ("Softwarekomponenten", "Composants logiciels", "Componenti software",
                            "Componentes de software", "Softwareonderdelen"),
    "Specify which software components you want to be installed during setup.": (
        "Geben Sie an, welche Softwarekomponenten installiert werden sollen.",
        "Indiquez les composants logiciels à installer.",
        "Specificare quali componenti software installare.",
        "Indique qué componentes de software desea instalar.",
        "Geef aan welke softwareonderdelen moeten worden geïnstalleerd."),
    "Installation Directory": ("Installationsverzeichnis", "Dossier d'installation", "Cartella di installazione",
                               "Carpeta de instalación", "Installatiemap"),
    "You can select the directory where the software should be installed.": (
        "Sie können das Verzeichnis wählen, in das die Software installiert wird.",
        "Vous pouvez choisir le dossier dans lequel le logiciel sera installé.",
        "È possibile scegliere la cartella in cui installare il software.",
        "Puede elegir la carpeta en la que se instalará el software.",
        "U kunt de map kiezen waarin de software wordt geïnstalleerd."),
    "Carry out Installation": ("Installation durchführen", "Effectuer l'installation", "Esecuzione dell'installazione",
                               "Realizar la instalación", "Installatie uitvoeren"),
    "The installation can now be performed.": ("Die Installation kann jetzt durchgeführt werden.",
                                               "L'installation peut maintenant être effectuée.",
                                               "Ora è possibile eseguire l'installazione.",
                                               "Ahora se puede realizar la instalación.",
                                               "De installatie kan nu worden uitgevoerd."),
    "Removal": ("Entfernen", "Suppression", "Rimozione", "Desinstalación", "Verwijderen"),
    "The selected software is being removed from your computer.": (
        "Die gewählte Software wird von Ihrem Computer entfernt.",
        "Le logiciel sélectionné est en cours de suppression.",
        "Il software selezionato viene rimosso dal computer.",
        "El software seleccionado se está quitando de su equipo.",
        "De gekozen software wordt van uw computer verwijderd."),
    "Component": ("Komponente", "Composant", "Componente", "Componente", "Onderdeel"),
    "Version": ("Version", "Version", "Versione", "Versión", "Versie"),
    "Stoping services ...": ("Dienste werden beendet ...", "Arrêt des services ...", "Arresto dei servizi ...",
                             "Deteniendo servicios ...", "Services worden gestopt ..."),
    "Copying files ...": ("Dateien werden kopiert ...", "Copie des fichiers ...", "Copia dei file ...",
                          "Copiando archivos ...", "Bestanden worden gekopieerd ..."),
    "Deleting files ...": ("Dateien werden gelöscht ...", "Suppression des fichiers ...", "Eliminazione dei file ...",
                           "Eliminando archivos ...", "Bestanden worden verwijderd ..."),
    "Updating registry ...": ("Registrierung wird aktualisiert ...", "Mise à jour du registre ...",
                              "Aggiornamento del registro ...", "Actualizando el registro ...",
                              "Register wordt bijgewerkt ..."),
    "Updating shortcuts ...": ("Verknüpfungen werden aktualisiert ...", "Mise à jour des raccourcis ...",
                               "Aggiornamento dei collegamenti ...", "Actualizando accesos directos ...",
                               "Snelkoppelingen worden bijgewerkt ..."),
    "Starting services ...": ("Dienste werden gestartet ...", "Démarrage des services ...", "Avvio dei servizi ...",
                              "Iniciando servicios ...", "Services worden gestart ..."),
    "The installation did not complete successfully.": (
        "Die Installation wurde nicht erfolgreich abgeschlossen.", "L'installation n'a pas abouti.",
        "L'installazione non è stata completata correttamente.", "La instalación no finalizó correctamente.",
        "De installatie is niet geslaagd."),
    "The deinstallation did not complete successfully.": (
        "Die Deinstallation wurde nicht erfolgreich abgeschlossen.", "La désinstallation n'a pas abouti.",
        "La disinstallazione non è stata completata correttamente.", "La desinstalación no finalizó correctamente.",
        "Het verwijderen is niet geslaagd."),
    "Done.": ("Fertig.", "Terminé.", "Completato.", "Hecho.", "Klaar."),
    "Completing the Brindle Setup Wizard": ("Fertigstellen des Brindle-Setup-Assistenten",
                                            "Fin de l'assistant d'installation de Brindle",
                                            "Completamento dell'installazione di Brindle",
                                            "Finalizando el asistente de instalación de Brindle",
                                            "De installatiewizard van Brindle voltooien"),
    "The software has been installed on your computer.\\r\\n\\r\\nClick Finish to close the wizard.": (
        "Die Software wurde auf Ihrem Computer installiert.\\r\\n\\r\\nKlicken Sie auf Fertig stellen, um den Assistenten zu schließen.",
        "Le logiciel a été installé sur votre ordinateur.\\r\\n\\r\\nCliquez sur Terminer pour fermer l'assistant.",
        "Il software è stato installato sul computer.\\r\\n\\r\\nFare clic su Fine per chiudere la procedura guidata.",
        "El software se ha instalado en su equipo.\\r\\n\\r\\nHaga clic en Finalizar para cerrar el asistente.",
        "De software is op uw computer geïnstalleerd.\\r\\n\\r\\nKlik op Voltooien om de wizard te sluiten."),
    "Removal Complete": ("Entfernen abgeschlossen", "Suppression terminée", "Rimozione completata",
                         "Desinstalación finalizada", "Verwijderen voltooid"),
    "The software has been removed from your computer.\\r\\n\\r\\nClick Finish to close the wizard.": (
        "Die Software wurde von Ihrem Computer entfernt.\\r\\n\\r\\nKlicken Sie auf Fertig stellen, um den Assistenten zu schließen.",
        "Le logiciel a été supprimé de votre ordinateur.\\r\\n\\r\\nCliquez sur Terminer pour fermer l'assistant.",
        "Il software è stato rimosso dal computer.\\r\\n\\r\\nFare clic su Fine per chiudere la procedura guidata.",
        "El software se ha quitado de su equipo.\\r\\n\\r\\nHaga clic en Finalizar para cerrar el asistente.",
        "De software is van uw computer verwijderd.\\r\\n\\r\\nKlik op Voltooien om de wizard te sluiten."),
    "Windows must be restarted to complete the work.": (
        "Windows muss neu gestartet werden, um den Vorgang abzuschließen.",
        "Windows doit être redémarré pour terminer l'opération.",
        "È necessario riavviare Windows per completare l'operazione.",
        "Es necesario reiniciar Windows para completar el trabajo.",
        "Windows moet opnieuw worden gestart om het werk te voltooien."),
    "Start %s now": ("%s jetzt starten", "Démarrer %s maintenant", "Avvia %s ora", "Iniciar %s ahora", "%s nu starten"),
    "Setup cannot continue": ("Setup kann nicht fortgesetzt werden", "Impossible de poursuivre l'installation",
                              "Impossibile continuare l'installazione", "El programa de instalación no puede continuar",
                              "Setup kan niet doorgaan"),
    "Insufficient Privileges.\\r\\rYou must have administrative rights and permissions for this computer. Log off from the computer, and log on using an Administrator account.": (
        "Unzureichende Berechtigungen.\\r\\rSie benötigen Administratorrechte für diesen Computer. Melden Sie sich ab und mit einem Administratorkonto wieder an.",
        "Privilèges insuffisants.\\r\\rVous devez disposer des droits d'administrateur sur cet ordinateur. Fermez la session et ouvrez-en une avec un compte administrateur.",
        "Privilegi insufficienti.\\r\\rÈ necessario disporre dei diritti di amministratore per questo computer. Disconnettersi e accedere con un account amministratore.",
        "Privilegios insuficientes.\\r\\rNecesita derechos de administrador en este equipo. Cierre la sesión e iníciela con una cuenta de administrador.",
        "Onvoldoende bevoegdheden.\\r\\rU hebt beheerdersrechten voor deze computer nodig. Meld u af en meld u aan met een beheerdersaccount."),
    "There is an error in file %s, line %d. Installation can not continue.": (
        "In der Datei %s ist in Zeile %d ein Fehler. Die Installation kann nicht fortgesetzt werden.",
        "Le fichier %s contient une erreur à la ligne %d. L'installation ne peut pas continuer.",
        "Errore nel file %s, riga %d. Impossibile continuare l'installazione.",
        "Hay un error en el archivo %s, línea %d. La instalación no puede continuar.",
        "Er staat een fout in bestand %s, regel %d. De installatie kan niet doorgaan."),
    "A more recent version of %s is currently installed on your system.\\r\\rDo you really want to replace the existing version?": (
        "Auf Ihrem System ist bereits eine neuere Version von %s installiert.\\r\\rMöchten Sie die vorhandene Version wirklich ersetzen?",
        "Une version plus récente de %s est déjà installée sur votre système.\\r\\rVoulez-vous vraiment remplacer la version existante ?",
        "Nel sistema è già installata una versione più recente di %s.\\r\\rSostituire davvero la versione esistente?",
        "Ya hay instalada en su sistema una versión más reciente de %s.\\r\\r¿Desea realmente reemplazar la versión existente?",
        "Er is al een nieuwere versie van %s op uw systeem geïnstalleerd.\\r\\rWilt u de bestaande versie echt vervangen?"),
    "The setup script %s cannot be read. Installation can not continue.": (
        "Das Setup-Skript %s kann nicht gelesen werden. Die Installation kann nicht fortgesetzt werden.",
        "Le script d'installation %s est illisible. L'installation ne peut pas continuer.",
        "Impossibile leggere lo script di installazione %s. Impossibile continuare l'installazione.",
        "No se puede leer el script de instalación %s. La instalación no puede continuar.",
        "Het installatiescript %s kan niet worden gelezen. De installatie kan niet doorgaan."),
    "None of the software of this setup can be installed on this computer.": (
        "Keine Software dieses Setups kann auf diesem Computer installiert werden.",
        "Aucun logiciel de cette installation ne peut être installé sur cet ordinateur.",
        "Nessun software di questa installazione può essere installato su questo computer.",
        "Ninguno de los programas de esta instalación se puede instalar en este equipo.",
        "Geen enkele software van deze installatie kan op deze computer worden geïnstalleerd."),
    "Please tick at least one component.": ("Bitte markieren Sie mindestens eine Komponente.",
                                            "Veuillez cocher au moins un composant.",
                                            "Selezionare almeno un componente.",
                                            "Marque al menos un componente.",
                                            "Vink ten minste één onderdeel aan."),
    "Please enter the full path of a folder, for example C:\\\\Program Files\\\\Brindle.": (
        "Bitte geben Sie den vollständigen Pfad eines Ordners ein, zum Beispiel C:\\\\Programme\\\\Brindle.",
        "Veuillez entrer le chemin complet d'un dossier, par exemple C:\\\\Program Files\\\\Brindle.",
        "Immettere il percorso completo di una cartella, ad esempio C:\\\\Programmi\\\\Brindle.",
        "Escriba la ruta completa de una carpeta, por ejemplo C:\\\\Archivos de programa\\\\Brindle.",
        "Typ het volledige pad van een map, bijvoorbeeld C:\\\\Program Files\\\\Brindle."),
    'Do you want the shortcut ""%s""?': ('Möchten Sie die Verknüpfung ""%s""?',
                                         'Voulez-vous le raccourci ""%s"" ?',
                                         'Creare il collegamento ""%s""?',
                                         '¿Desea el acceso directo ""%s""?',
                                         'Wilt u de snelkoppeling ""%s""?'),
    "%s is not part of this setup.": ("%s ist nicht Teil dieses Setups.", "%s ne fait pas partie de cette installation.",
                                      "%s non fa parte di questa installazione.", "%s no forma parte de esta instalación.",
                                      "%s maakt geen deel uit van deze installatie."),
    "Please select a target folder for installation:": (
        "Bitte wählen Sie einen Zielordner für die Installation:",
        "Veuillez choisir le dossier de destination de l'installation :",
        "Selezionare una cartella di destinazione per l'installazione:",
        "Seleccione una carpeta de destino para la instalación:",
        "Kies een doelmap voor de installatie:"),
}

STRING = re.compile(r'"((?:[^"]|"")*)"')


def translate(text, index, missing):
    if text in KEEP:
        return text
    if text not in T:
        missing.add(text)
        return text
    return T[text][index]


def main():
    source = open(os.path.join(HERE, "setup_en.rc"), encoding="utf-8").read()
    missing = set()
    for index, (code, (language, name)) in enumerate(LANGUAGES.items()):
        lines = []
        for line in source.splitlines():
            if line.startswith("// setup texts:"):
                line = f"// setup texts: {name} (made from setup_en.rc by make_translations.py)"
            elif line.startswith("LANGUAGE "):
                line = f"LANGUAGE {language}"
            elif not line.lstrip().startswith("#"):
                line = STRING.sub(lambda m: '"' + translate(m.group(1), index, missing) + '"', line)
            lines.append(line)
        with open(os.path.join(HERE, f"setup_{code}.rc"), "w", encoding="utf-8") as out:
            out.write("\n".join(lines) + "\n")
    if missing:
        for text in sorted(missing):
            print(f"no translation: {text}", file=sys.stderr)
        sys.exit(1)


if __name__ == "__main__":
    main()
