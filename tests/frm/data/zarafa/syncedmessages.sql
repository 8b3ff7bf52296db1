CREATE TABLE `syncedmessages` (
  `sync_id` int(10) unsigned NOT NULL,
  `change_id` int(10) unsigned NOT NULL,
  `sourcekey` varbinary(64) NOT NULL,
  `parentsourcekey` varbinary(64) NOT NULL,
  PRIMARY KEY (`sync_id`,`change_id`,`sourcekey`),
  KEY `sync_state` (`sync_id`,`change_id`)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb3 COLLATE=utf8mb3_general_ci
