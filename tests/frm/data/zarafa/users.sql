CREATE TABLE `users` (
  `id` int(10) unsigned NOT NULL AUTO_INCREMENT,
  `externid` blob DEFAULT NULL,
  `objectclass` int(11) NOT NULL DEFAULT 0,
  `signature` varbinary(255) NOT NULL DEFAULT '0',
  `company` int(10) unsigned NOT NULL DEFAULT 0,
  PRIMARY KEY (`id`),
  UNIQUE KEY `externid` (`externid`(255),`objectclass`)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb3 COLLATE=utf8mb3_general_ci
